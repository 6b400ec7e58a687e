#include "ui/PreviewModes.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "app/AppModel.h"
#include "app/PreferenceKeys.h"
#include "app/SyntheticWorld.h"
#include "platform/qt/QtMainQueue.h"
#include "support/Clock.h"
#include "ui/NotchView.h"
#include "ui/PreviewRenderer.h"
#include "ui/PreviewScenes.h"
#include "ui/SettingsView.h"

namespace notch {
namespace {

constexpr int kPanelWidth = 480;
constexpr int kSettingsWidth = 600;
constexpr const char* kDefaultScenePath = "notch-preview.png";

void print(const char* line) { std::printf("%s\n", line); }
void report(const char* line) { std::fprintf(stderr, "%s\n", line); }

bool present(const std::vector<std::string_view>& arguments, std::string_view flag) {
  return std::find(arguments.begin(), arguments.end(), flag) != arguments.end();
}

// The argument after `flag`, whatever it is; nothing when `flag` is last.
std::optional<std::string> valueAfter(const std::vector<std::string_view>& arguments, std::string_view flag) {
  const auto found = std::find(arguments.begin(), arguments.end(), flag);
  if (found == arguments.end() || found + 1 == arguments.end()) {
    return std::nullopt;
  }
  return std::string(*(found + 1));
}

// The app model in a world without WorkBuddy, never started.
struct SyntheticApp {
  SystemClock clock;
  QtMainQueue mainQueue;
  SyntheticWorld world;
  std::shared_ptr<AppModel> model = AppModel::create(world.environment(clock, mainQueue),
                                                     AppModelDependencies::system(world.workspace, world.preferences));
};

// The settings window's content at its full height, for a home without
// WorkBuddy settings.
bool renderSettings(const std::string& path) {
  SyntheticApp app;
  NoFileManager fileManager;
  NoLoginItems loginItems;
  SettingsView view(*app.model, SettingsEnvironment{app.world.preferences,
                                                    app.mainQueue,
                                                    app.mainQueue,
                                                    app.world.fileSystem,
                                                    fileManager,
                                                    loginItems,
                                                    "/nonexistent/preview-home",
                                                    "/usr/bin/VantrelNotch",
                                                    {}});
  view.setAttribute(Qt::WA_DontShowOnScreen);
  view.show();
  view.resize(kSettingsWidth,
              view.heightForWidth(kSettingsWidth) > 0 ? view.heightForWidth(kSettingsWidth) : view.sizeHint().height());
  QCoreApplication::processEvents();
  return saveNewPng(renderWidget(view), path);
}

bool renderScene(PreviewScene scene, const std::string& path, QuestionPreviewOptions question = {}) {
  SyntheticApp app;
  app.world.preferences.setBool(PreferenceKeys::completionReminders, scene == PreviewScene::completion);
  app.model->present(previewState(scene, app.clock.now(), question));
  NotchView view(*app.model, app.clock, app.world.preferences, NotchViewOptions{.drawsSurface = true});
  view.setAttribute(Qt::WA_DontShowOnScreen);
  view.show();
  view.resize(kPanelWidth, view.fittingHeight(kPanelWidth));
  return saveNewPng(renderWidget(view), path);
}

} // namespace

int renderCompletionPreview(const std::vector<std::string_view>& arguments) {
  const auto path = valueAfter(arguments, "--render-completion-preview");
  if (!path) {
    report("Usage: --render-completion-preview <new.png>");
    return 1;
  }
  if (!renderScene(PreviewScene::completion, *path)) {
    report("Could not save completion preview; existing files are not overwritten.");
    return 1;
  }
  print("Synthetic completion preview saved; no real task or app activation.");
  return 0;
}

int renderQuestionPreview(const std::vector<std::string_view>& arguments) {
  const auto path = valueAfter(arguments, "--render-question-preview");
  if (!path) {
    report("Usage: VantrelNotch --render-question-preview <new.png> [--question-long] [--question-failure]");
    return 1;
  }
  const QuestionPreviewOptions options{present(arguments, "--question-long"), present(arguments, "--question-failure")};
  if (!renderScene(PreviewScene::question, *path, options)) {
    report("Could not save preview (existing files are not overwritten).");
    return 1;
  }
  print("Synthetic question preview saved; no AX, real app activation, approval, or answer.");
  return 0;
}

int renderScenePreview(const std::vector<std::string_view>& arguments) {
  std::string path = kDefaultScenePath;
  if (const auto given = valueAfter(arguments, "--render-preview"); given && !given->starts_with("--")) {
    path = *given;
  }
  // clang-format off
  const struct { const char* flag; PreviewScene scene; } scenes[] = {
      {"--preview-idle", PreviewScene::idle}, {"--preview-native", PreviewScene::native},
      {"--preview-details", PreviewScene::details}, {"--preview-receipt", PreviewScene::receipt},
      {"--preview-compact", PreviewScene::compact},
  };
  // clang-format on
  PreviewScene scene = PreviewScene::request;
  for (const auto& candidate : scenes) {
    if (present(arguments, candidate.flag)) {
      scene = candidate.scene;
      break;
    }
  }
  const bool saved = present(arguments, "--preview-settings") ? renderSettings(path) : renderScene(scene, path);
  if (!saved) {
    report("Could not save preview (existing files are not overwritten).");
    return 1;
  }
  std::printf("Synthetic preview saved to %s; no request, approval or setting behind it.\n", path.c_str());
  return 0;
}

} // namespace notch
