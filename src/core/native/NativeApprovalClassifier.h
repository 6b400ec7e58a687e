#pragma once

// Recognises WorkBuddy's own batch-deletion confirmation card in the window
// trees of one scan, exactly or not at all: a batch-deletion line, the risk
// line, the whole command and the two buttons "允许本次删除" and "取消删除",
// either sharing one group (`grouped`) or laid out as consecutive siblings
// whose geometry looks like the card (`flattened`). Anything ambiguous — two
// cards, extra text, an abbreviated command, a hidden character, an odd
// layout — is no match, and the user confirms in WorkBuddy itself.
//
// Pure functions over NativeApprovalNode values.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/native/NativeApprovalNode.h"

namespace notch {

struct NativeApprovalContext {
  std::string title;   // the batch-deletion line as shown
  std::string risk;    // the risk line
  std::string command; // the command, whole
  std::string allowLabel;
  std::string denyLabel;

  friend bool operator==(const NativeApprovalContext&, const NativeApprovalContext&) = default;
};

enum class NativeApprovalLayout { grouped, flattened };

struct NativeApprovalMatch {
  std::string windowID;
  std::string containerID;
  std::string allowID;
  std::string denyID;
  std::vector<std::string> contextNodeIDs;
  NativeApprovalLayout layout = NativeApprovalLayout::grouped;
  NativeApprovalContext context;

  friend bool operator==(const NativeApprovalMatch&, const NativeApprovalMatch&) = default;
};

namespace NativeApprovalClassifier {

inline constexpr std::string_view allowLabel = "允许本次删除";
inline constexpr std::string_view denyLabel = "取消删除";
inline constexpr std::string_view riskText = "高风险命令，可能影响系统稳定性";

// The one card on screen, or nullopt.
std::optional<NativeApprovalMatch> uniqueMatch(const std::vector<NativeApprovalNode>& roots);

// Whether any button in the trees carries one of the two labels.
bool hasRecognizableButtons(const std::vector<NativeApprovalNode>& roots);

// "允许本次删除" or "取消删除" for a button text (optionally numbered 1 or 2),
// nullopt for anything else, hidden characters included.
std::optional<std::string> normalizedButtonLabel(std::string_view text);

// Whether a command text is shown whole: not empty, at most 64 KiB, not
// abbreviated with an ellipsis, no hidden characters.
bool isCompleteCommand(std::string_view command);

} // namespace NativeApprovalClassifier
} // namespace notch
