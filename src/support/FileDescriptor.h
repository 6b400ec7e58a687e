#pragma once

// Sole owner of one POSIX file descriptor; closes it on destruction.
// Not thread-safe: one owner at a time, moved between threads if needed.

namespace notch {

class FileDescriptor {
public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() { reset(); }

  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  explicit operator bool() const { return valid(); }

  // Gives up ownership without closing.
  int release();
  // Closes the held descriptor (if any) and takes `fd`.
  void reset(int fd = -1);

private:
  int fd_ = -1;
};

} // namespace notch
