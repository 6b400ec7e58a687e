#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/bridge/BridgePaths.h"
#include "core/bridge/BridgeSocket.h"
#include "core/bridge/TestBridge.h"
#include "core/bridge/TransportError.h"

namespace notch {
namespace {

using testing::TemporaryDirectory;

mode_t modeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

TEST(BridgePathsTest, ProductionPathsBelongToTheUser) {
  EXPECT_EQ(bridgeDirectory(), "/tmp/vantrel-notch-" + std::to_string(::getuid()));
  EXPECT_EQ(bridgeSocketPath("/d"), "/d/bridge.sock");
}

TEST(BridgePathsTest, EnsureCreatesAPrivateDirectoryAndRefusesUnsafeOnes) {
  TemporaryDirectory temporary;
  const std::string fresh = temporary.child("bridge");
  ensureBridgeDirectory(fresh);
  EXPECT_EQ(modeOf(fresh), 0700u);
  EXPECT_TRUE(isBridgeDirectorySafe(fresh));
  ensureBridgeDirectory(fresh); // existing and safe: fine

  const std::string wide = temporary.child("wide");
  ASSERT_EQ(::mkdir(wide.c_str(), 0700), 0);
  ASSERT_EQ(::chmod(wide.c_str(), 0755), 0);
  EXPECT_THROW(ensureBridgeDirectory(wide), TransportError);
  EXPECT_EQ(modeOf(wide), 0755u); // refused, never repaired

  const std::string link = temporary.child("link");
  ASSERT_EQ(::symlink(fresh.c_str(), link.c_str()), 0);
  EXPECT_FALSE(isBridgeDirectorySafe(link));
  try {
    ensureBridgeDirectory(link);
    FAIL() << "a symbolic link was accepted";
  } catch (const TransportError& error) {
    EXPECT_EQ(error.kind(), TransportError::Kind::unsafePath);
    EXPECT_STREQ(error.what(), "Unsafe bridge directory or socket ownership/type/permissions.");
  }

  const std::string file = temporary.child("file");
  ASSERT_EQ(::close(::creat(file.c_str(), 0700)), 0);
  EXPECT_THROW(ensureBridgeDirectory(file), TransportError);

  try {
    ensureBridgeDirectory(temporary.child("missing/parent"));
    FAIL() << "a missing parent was accepted";
  } catch (const TransportError& error) {
    EXPECT_EQ(error.kind(), TransportError::Kind::system);
    EXPECT_EQ(error.errorNumber(), ENOENT);
  }
}

TEST(BridgePathsTest, ForeignOwnershipIsRefused) {
  if (::getuid() != 0) {
    GTEST_SKIP() << "needs root to give files to another user";
  }
  TemporaryDirectory temporary;
  const std::string foreign = temporary.child("foreign");
  ASSERT_EQ(::mkdir(foreign.c_str(), 0700), 0);
  ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
  EXPECT_FALSE(isBridgeDirectorySafe(foreign));
  EXPECT_THROW(ensureBridgeDirectory(foreign), TransportError);
}

TEST(BridgePathsTest, SocketSafetyChecksTypeAndMode) {
  TemporaryDirectory temporary;
  const std::string path = temporary.child("s.sock");
  FileDescriptor socket = makeBridgeSocket();
  ASSERT_EQ(bindBridgeSocket(socket.get(), path), 0);
  ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
  EXPECT_TRUE(isBridgeSocketSafe(path));
  ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
  EXPECT_FALSE(isBridgeSocketSafe(path));

  const std::string file = temporary.child("plain");
  ASSERT_EQ(::close(::creat(file.c_str(), 0600)), 0);
  EXPECT_FALSE(isBridgeSocketSafe(file));
  EXPECT_FALSE(isBridgeSocketSafe(temporary.child("missing")));
}

TEST(BridgePathsTest, LongSocketPathsAreRefusedNotTruncated) {
  const std::string fits(kBridgePathFieldSize - 1, 'a');
  EXPECT_TRUE(bridgeAddress("/" + fits.substr(1)).has_value());
  EXPECT_FALSE(bridgeAddress("/" + fits).has_value());
  FileDescriptor socket = makeBridgeSocket();
  EXPECT_EQ(connectBridgeSocket(socket.get(), "/tmp/" + std::string(120, 'x')), ENAMETOOLONG);
}

} // namespace
} // namespace notch
