#pragma once

// A workspace whose applications the test starts, moves to the front, hides
// and terminates. Safe to change from the test thread while a monitor reads
// it on its queue. Activations, unhides and openings are recorded as lines
// ("activate 42", "open /Applications/WorkBuddy.app") and succeed unless the
// test says otherwise.

#include <map>
#include <mutex>
#include <set>
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

  bool activate(std::int32_t pid) override {
    calls.push_back("activate " + std::to_string(pid));
    return activationSucceeds;
  }
  bool unhide(std::int32_t pid) override {
    calls.push_back("unhide " + std::to_string(pid));
    return unhideSucceeds;
  }
  bool applicationExists(const std::string& location) const override { return installed.count(location) > 0; }
  void openApplication(const std::string& location, OpenCompletion done) override {
    calls.push_back("open " + location);
    done(openError);
  }
  Subscription observeApplications(std::function<void(const ApplicationChange&)> onChange) override {
    return changes.add(std::move(onChange));
  }

  // Main-queue side; the test thread only.
  std::vector<std::string> calls;
  bool activationSucceeds = true;
  bool unhideSucceeds = true;
  std::set<std::string> installed;
  std::optional<std::string> openError;
  ObserverList<const ApplicationChange&> changes;

private:
  mutable std::mutex mutex_;
  mutable std::map<std::string, std::vector<RunningApplication>> applications_;
};

} // namespace notch::testing
