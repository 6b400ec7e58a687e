#include "app/NativeDiagnosis.h"

#include "core/native/NativeApprovalMonitor.h"

namespace notch {

int runNativeDiagnosis(const NativeDiagnosisEnvironment& environment) {
  NativeApprovalMonitor monitor(environment.accessibility, environment.workspace, environment.clock,
                                environment.monitorQueue);
  const auto& print = environment.printLine;
  print(std::string("Accessibility trusted: ") + (monitor.isTrusted() ? "true" : "false"));
  monitor.start(
      [&](const ApprovalRequest&) { print("Recognized one actionable native approval card (contents omitted)."); },
      [](const std::string&) {}, [&](const std::string& status) { print(status); }, true);
  environment.runMainLoopFor(nativeDiagnosisDuration);
  monitor.stop();
  return 0;
}

} // namespace notch
