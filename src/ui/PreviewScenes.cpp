#include "ui/PreviewScenes.h"

#include "app/DemoRequest.h"
#include "core/completion/CompletionEvent.h"
#include "support/Uuid.h"

namespace notch {
namespace {

ApprovalRequest hookRequest(double now, std::string toolInput) {
  ApprovalRequest request;
  request.id = "7D1C6E1E-2F4B-4C1A-9A57-6F0C9E1D0A11";
  request.sessionID = "preview-session";
  request.toolName = "Bash";
  request.toolInputJSON = std::move(toolInput);
  request.cwd = "/home/user/Projects/my-project";
  request.eventName = "PermissionRequest";
  request.expiresAt = now + 42;
  request.source = "workbuddy";
  return request;
}

void showRequest(AppState& state, const ApprovalRequest& request, double now) {
  state.interaction.receive(request, now);
  state.interaction.expand(now);
  state.actionReady = true;
}

QuestionReminderState waitingQuestion(QuestionPreviewOptions options) {
  QuestionReminder reminder{"preview-flow", kPreviewPid,
                            options.longText ? "这次重构要同时迁移数据库结构、更新接口文档，并把旧的批处理任务改成"
                                               "按需触发；你希望先从哪一部分开始，还是按建议的顺序全部完成？"
                                             : "要把构建产物发布到哪个环境？",
                            1, 3};
  QuestionReminderState questions;
  // A question shows from its second sighting.
  questions.observe(QuestionReminderState::Waiting{reminder});
  questions.observe(QuestionReminderState::Waiting{reminder});
  if (options.failure) {
    if (const auto token = questions.token()) {
      questions.beginHandoff(*token, true);
      questions.completeHandoff(*token, false);
    }
  }
  return questions;
}

} // namespace

CompletionReminderState finishedTurn(double now, bool background) {
  CompletionReminderState completions;
  for (const auto kind : {CompletionEvent::Kind::started, CompletionEvent::Kind::ended}) {
    CompletionEvent event;
    event.id = Uuid::random().string();
    event.sessionID = "preview-session";
    event.generationID = "preview-generation";
    event.kind = kind;
    if (kind == CompletionEvent::Kind::ended) {
      event.reason = CompletionEvent::Reason::completed;
    }
    event.observedAt = now - 5;
    completions.observe(event, kPreviewPid, background, true, now - 5);
  }
  completions.refresh(now);
  return completions;
}

AppState previewState(PreviewScene scene, double now, QuestionPreviewOptions question) {
  AppState state;
  state.serviceReady = true;
  state.message = "本地桥接已就绪";
  state.notchHeight = 32;
  state.configuredProfiles = {"WorkBuddy"};
  state.nativeAccessGranted = true;
  state.nativeStatus = "原生检测运行中";
  state.completionStatus = "通知通道就绪";
  state.completionHookInstalled = true;
  switch (scene) {
  case PreviewScene::request:
    showRequest(state, hookRequest(now, "{\n  \"command\" : \"rm -rf ./build && cmake --preset release\"\n}"), now);
    break;
  case PreviewScene::idle:
    state.interaction.expand(now);
    break;
  case PreviewScene::native:
    showRequest(state, demoRequest(true, now), now);
    break;
  case PreviewScene::details:
    showRequest(state,
                hookRequest(now, "{\n  \"command\" : \"git push --force-with-lease origin main\",\n  \"description\" : "
                                 "\"推送整理后的提交\",\n  \"timeout\" : 120000\n}"),
                now);
    state.interaction.setShowAllParameters(true);
    break;
  case PreviewScene::receipt: {
    const ApprovalRequest request = hookRequest(now, "{\n  \"command\" : \"npm test\"\n}");
    showRequest(state, request, now);
    state.interaction.finish(request.id, NotchInteraction::Feedback::Kind::allowed, false);
    state.actionReady = false;
    break;
  }
  case PreviewScene::compact:
    state.interaction.receive(hookRequest(now, "{\n  \"command\" : \"make install\"\n}"), now);
    state.interaction.collapse(); // a request opens the notch; this one waits behind the badge
    break;
  case PreviewScene::question:
    state.questionState = waitingQuestion(question);
    state.questionActionReady = !question.failure;
    state.interaction.expand(now);
    break;
  case PreviewScene::completion:
    state.completionState = finishedTurn(now, true);
    state.completionActionReady = true;
    state.interaction.expand(now);
    break;
  }
  state.expansionPresentation = state.interaction.expanded();
  return state;
}

} // namespace notch
