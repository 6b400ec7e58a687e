#pragma once

// The preview images of the command line, rendered from the real notch
// view bound to an app model in a synthetic world (no service started, no
// preference of the user's read or written, nothing activated):
//
//   --render-completion-preview <new.png>      the turn-end reminder
//   --render-question-preview <new.png> [--question-long] [--question-failure]
//   --render-preview [new.png] [--preview-idle | --preview-native |
//       --preview-details | --preview-receipt | --preview-compact |
//       --preview-settings]                    a scene (default: a request)
//
// Each returns the process's exit status; a QApplication must exist.

#include <string_view>
#include <vector>

namespace notch {

int renderCompletionPreview(const std::vector<std::string_view>& arguments);
int renderQuestionPreview(const std::vector<std::string_view>& arguments);
int renderScenePreview(const std::vector<std::string_view>& arguments);

} // namespace notch
