#pragma once

// A workspace whose applications the test starts, moves to the front, hides
// and terminates. Safe to change from the test thread while a monitor reads
// it on its queue.

#include <map>
#include <mutex>
#include <string>

#include "platform/Workspace.h"

namespace notch::testing {

class FakeWorkspace final : public Workspace {
public:
  void set(const std::string& identifier, std::vector<RunningApplication> applications) {
    std::lock_guard guard(mutex_);
    applications_[identifier] = std::move(applications);
  }
  std::vector<RunningApplication> runningApplications(std::string_view identifier) const override {
    std::lock_guard guard(mutex_);
    return applications_[std::string(identifier)];
  }

private:
  mutable std::mutex mutex_;
  mutable std::map<std::string, std::vector<RunningApplication>> applications_;
};

} // namespace notch::testing
