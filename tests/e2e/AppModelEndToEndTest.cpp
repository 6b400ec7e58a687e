// The app model with its real turn-end server in the bridge directory, fed
// by the built VantrelNotch run exactly as WorkBuddy runs its turn-end hook.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/AppModel.h"
#include "app/PreferenceKeys.h"
#include "core/bridge/BridgePaths.h"
#include "core/bridge/TestBridge.h"
#include "platform/FakeAccessibility.h"
#include "platform/FakeAppPlatform.h"
#include "platform/FakeWorkspace.h"
#include "support/ChildProcess.h"
#include "support/FakeClock.h"

namespace notch {
namespace {

using namespace testing;

TEST(AppModelEndToEnd, ATurnThatEndedInTheBackgroundShowsExactlyOneReminder) {
  for (const bool inFront : {false, true}) {
    // A second ahead of the hook's own clock, so that its events are never from the future.
    FakeClock clock(wallClockNow() + 1, uptimeNow());
    ManualTaskQueue main{clock};
    ManualTaskQueue native{clock};
    FakePreferences preferences;
    preferences.setBool(PreferenceKeys::completionReminders, true);
    FakeClipboard clipboard;
    FakeWorkspace workspace;
    workspace.set(std::string(NativeApprovalMonitor::bundleIdentifier), {{.pid = 4242, .active = inFront}});
    FakeSystemSettings systemSettings;
    FakeAccessibility accessibility{&clock, 0.0};
    SystemFileSystem fileSystem;
    TemporaryDirectory home;
    const auto model =
        AppModel::create(AppEnvironment{clock, main, native, preferences, clipboard, workspace, systemSettings,
                                        accessibility, fileSystem, bridgeDirectory(), home.path(), std::nullopt},
                         AppModelDependencies::system(workspace, preferences));
    model->start();
    ASSERT_EQ(model->state().completionStatus, "通知通道就绪；请单独安装结束提醒 Hook");
    for (const char* event : {"UserPromptSubmit", "FinalStop"}) {
      ChildOptions options;
      options.standardInput = std::string(R"({"hook_event_name":")") + event +
                              R"(","session_id":"s-1","generation_id":"g-1","final_stop_reason":"completed"})";
      const ChildResult hook = runChild(
          NOTCH_EXECUTABLE_PATH,
          {"--completion-hook", "--source", "workbuddy", "--owner-marker", "vantrel-notch-completion-v1"}, options);
      ASSERT_EQ(summary(hook), "0||");
      for (int i = 0; i < 5000 && main.readyCount() == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      main.runUntilIdle();
    }
    main.advance(1);
    EXPECT_EQ(model->state().completionState.queuedCount(), inFront ? 0u : 1u) << model->state().completionStatus;
    EXPECT_EQ(model->completionVisible(), !inFront);
    EXPECT_EQ(model->isExpanded(), !inFront) << "it opens the notch by itself";
  }
}

} // namespace
} // namespace notch
