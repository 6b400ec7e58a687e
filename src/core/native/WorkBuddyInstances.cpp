#include "core/native/WorkBuddyInstances.h"

#include <algorithm>

namespace notch {

std::vector<RunningApplication> WorkBuddyInstances::running() const {
  std::vector<RunningApplication> applications = workspace_.runningApplications(bundleIdentifier);
  std::erase_if(applications, [](const RunningApplication& application) { return application.terminated; });
  return applications;
}

bool WorkBuddyInstances::onlyInstanceIsInBackground(std::int32_t pid) const {
  const std::vector<RunningApplication> applications = running();
  return applications.size() == 1 && applications.front().pid == pid && !applications.front().active &&
         !applications.front().hidden;
}

bool WorkBuddyInstances::anyInstanceIsInBackground(std::int32_t pid) const {
  const std::vector<RunningApplication> applications = running();
  return std::any_of(applications.begin(), applications.end(), [pid](const RunningApplication& application) {
    return application.pid == pid && !application.active && !application.hidden;
  });
}

bool WorkBuddyInstances::anyInstanceIsActive() const {
  const std::vector<RunningApplication> applications = running();
  return std::any_of(applications.begin(), applications.end(),
                     [](const RunningApplication& application) { return application.active; });
}

} // namespace notch
