#include "ui/SelfTest.h"

#include <QAbstractButton>
#include <QLabel>

#include <memory>

#include "app/AppModel.h"
#include "app/PreferenceKeys.h"
#include "app/SyntheticWorld.h"
#include "support/ManualTaskQueue.h"
#include "ui/NotchShape.h"
#include "ui/NotchView.h"
#include "ui/PreviewScenes.h"
#include "ui/layout/NotchGeometry.h"
#include "ui/layout/RevealMotion.h"

namespace notch {
namespace {

constexpr std::int32_t kTarget = kPreviewPid; // the made-up WorkBuddy's pid
// The rules under check are written out here, never read from the code
// they check: the arming guard is 0.45 s, the buttons arm 0.01 s after it.
constexpr double kJustBeforeArmed = 0.44;
constexpr double kArmed = 0.461;
constexpr double kLastReceiptGone = 1.8 + 0.15 + 0.01; // the receipt's lifetime, then the auto-collapse

class Checks {
public:
  explicit Checks(std::vector<std::string>& failures) : failures_(failures) {}
  void suite(const char* name) { suite_ = name; }
  void expect(bool passed, const std::string& check) {
    if (!passed) {
      failures_.push_back(suite_ + ": " + check);
    }
  }

private:
  std::vector<std::string>& failures_;
  std::string suite_;
};

// The real model and view in virtual time, in a world without WorkBuddy,
// with activation targets that answer as told.
struct Bench {
  Bench() {
    world.preferences.setBool(PreferenceKeys::completionReminders, true);
    model = AppModel::create(world.environment(clock, queue),
                             AppModelDependencies{
                                 [](std::int32_t pid) { return pid == kTarget; },
                                 [this](std::int32_t) { return ++activations, activationSucceeds; },
                                 [] { return true; },
                                 [] { return std::optional<std::int32_t>(kTarget); },
                                 [](std::int32_t pid) { return pid == kTarget; },
                                 [this](std::int32_t) { return ++activations, activationSucceeds; },
                                 [] { return true; },
                                 [] { return true; },
                             });
    view = std::make_unique<NotchView>(*model, clock, world.preferences, NotchViewOptions{.drawsSurface = true});
    view->resize(480, 600);
  }
  template <typename Widget = QWidget> Widget* find(const char* name) { return view->findChild<Widget*>(name); }
  bool enabled(const char* name) {
    const auto* button = find<QAbstractButton>(name);
    return button != nullptr && button->isEnabled();
  }
  std::string text(const char* name) {
    const auto* button = find<QAbstractButton>(name);
    return button != nullptr ? button->text().toStdString() : "";
  }
  bool showing(const char* name) {
    const QWidget* widget = find(name);
    return widget != nullptr && !widget->isHidden();
  }

  ManualClock clock;
  ManualTaskQueue queue{clock};
  SyntheticWorld world;
  int activations = 0;
  bool activationSucceeds = false;
  std::shared_ptr<AppModel> model;
  std::unique_ptr<NotchView> view;
};

void notchInteraction(Checks& checks) {
  checks.suite("notch interaction");
  Bench bench;
  bench.model->showDemo(false);
  const ApprovalRequest request = *bench.model->state().interaction.current();
  checks.expect(bench.text("approval-allow") == "允许本次" && bench.text("approval-deny") == "拒绝",
                "a request offers 允许本次 and 拒绝");
  bench.queue.advance(kJustBeforeArmed);
  checks.expect(!bench.enabled("approval-allow"), "the decision buttons stay disabled for 0.45 s");
  checks.expect(!bench.model->decide(request, Decision::allow), "a decision within 0.45 s is refused");
  bench.queue.advance(kArmed - kJustBeforeArmed);
  checks.expect(bench.enabled("approval-allow"), "the decision buttons arm after 0.45 s");
  bench.model->collapse();
  checks.expect(bench.model->state().interaction.requests().size() == 1 && !bench.model->state().interaction.feedback(),
                "closing the notch decides nothing");
  bench.model->expand();
  bench.queue.advance(kJustBeforeArmed);
  checks.expect(!bench.model->decide(request, Decision::allow), "reopening the notch re-arms the guard");
  bench.queue.advance(kArmed - kJustBeforeArmed);
  checks.expect(bench.model->decide(request, Decision::allow), "an armed allow is accepted");
  checks.expect(bench.showing("receipt") && !bench.showing("approval"), "a receipt replaces the buttons");
  checks.expect(bench.model->state().message == "演示结束 · 没有执行任何命令", "a demonstration sends nothing");
  bench.queue.advance(kLastReceiptGone);
  checks.expect(!bench.model->state().interaction.expanded(), "the last receipt goes and the notch closes");

  bench.model->showDemo(true);
  checks.expect(bench.text("approval-allow") == "允许本次删除" && bench.text("approval-deny") == "取消删除",
                "a native card offers 允许本次删除 and 取消删除");
}

void panelMask(Checks& checks) {
  checks.suite("panel mask and click-through");
  const QRectF panel(516, 0, 480, 32);
  checks.expect(!surfaceContains({556, 16}, panel, 240) && surfaceContains({556, 16}, panel, 480),
                "a click beside the compact badge passes through, on the open card it does not");
  checks.expect(surfaceContains({756, 20}, panel, 240), "a click on the compact badge is the notch's");
  checks.expect(!surfaceContains({756, 32}, panel, 480), "the panel's bottom edge is outside it");
  checks.expect(!surfaceContains({520, 2}, panel, 480) && surfaceContains({536, 20}, panel, 480),
                "the shoulders curve in from the screen's top edge");
  const auto plain = NotchGeometry::forScreens({{{0, 0, 1512, 982}, 0, {}, {}}});
  checks.expect(plain && plain->notchHeight == 8 && plain->compactWidth == 236 && plain->panelWidth == 480,
                "a screen without a notch gets an 8-point notch and a 236-point badge");
  const auto narrow = NotchGeometry::forScreens({{{0, 0, 400, 800}, 0, {}, {}}});
  checks.expect(narrow && narrow->panelWidth == 368, "a 400-point screen gets a 368-point panel");
  RevealMotion motion(236);
  const ScreenRect closed{516, 0, 480, 32};
  const ScreenRect open{516, 0, 480, 300};
  const bool animated = motion.request(closed, open, 480, true, 0) == RevealMotion::Start::animated;
  checks.expect(animated && motion.step(0.1).frame.y == 0 && motion.step(0.1).frame.height < 300,
                "opening moves only the bottom edge");
  checks.expect(motion.request(closed, {0, 0, 368, 300}, 368, true, 0) == RevealMotion::Start::immediate,
                "a change of width lands at once");
}

void questionReminder(Checks& checks) {
  checks.suite("question reminder");
  QuestionReminderState questions;
  const QuestionReminder reminder{"flow", kTarget, "要发布到哪个环境？", 1, 2};
  questions.observe(QuestionReminderState::Waiting{reminder});
  checks.expect(!questions.visibleReminder(), "a single sighting shows nothing");

  Bench bench;
  AppState state = previewState(PreviewScene::question, bench.clock.now());
  bench.model->present(state);
  checks.expect(bench.showing("question-reminder") && !bench.showing("approval"), "a waiting question shows its card");
  checks.expect(bench.enabled("question-go-answer"), "去回答 is offered once armed");
  const auto token = *bench.model->state().questionState.token();
  checks.expect(!bench.model->activateQuestion(token) && bench.activations == 1, "the hand-off asks the target once");
  checks.expect(bench.showing("question-activation-failed"), "a failed hand-off says so");
  checks.expect(!bench.model->activateQuestion(token) && bench.activations == 1, "a hand-off is never repeated");
  bench.model->showDemo(false);
  checks.expect(bench.showing("approval") && !bench.showing("question-reminder"), "approvals outrank questions");
}

void turnEndReminder(Checks& checks) {
  checks.suite("turn-end reminder");
  Bench bench;
  bench.model->present(previewState(PreviewScene::completion, bench.clock.now()));
  checks.expect(bench.showing("completion-reminder"), "a finished background turn shows its card");
  const auto token = bench.model->state().completionState.current()->token;
  bench.activationSucceeds = false;
  checks.expect(!bench.model->activateCompletion(token) && bench.activations == 1, "打开 WorkBuddy asks the target");
  checks.expect(bench.model->state().completionActivationFailed && !bench.enabled("completion-open"),
                "a failed activation disables 打开 WorkBuddy and says so");
  bench.model->dismissCompletion(token);
  checks.expect(!bench.model->state().completionState.current(), "知道了 clears the reminder");

  checks.expect(finishedTurn(bench.clock.now(), true).current() && !finishedTurn(bench.clock.now(), false).current(),
                "only a turn that ended in the background reminds");
}

} // namespace

std::vector<std::string> runUiSelfTest() {
  std::vector<std::string> failures;
  Checks checks(failures);
  notchInteraction(checks);
  panelMask(checks);
  questionReminder(checks);
  turnEndReminder(checks);
  return failures;
}

} // namespace notch
