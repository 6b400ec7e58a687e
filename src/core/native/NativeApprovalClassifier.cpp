#include "core/native/NativeApprovalClassifier.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>

#include "core/text/HiddenCharacters.h"
#include "support/Regex.h"
#include "support/Unicode.h"

namespace notch::NativeApprovalClassifier {
namespace {

using Path = std::vector<const NativeApprovalNode*>;

constexpr std::size_t kMostContainerNodes = 90;
constexpr int kDeepestContainer = 12;
constexpr int kGroupedCandidates = 5;
constexpr std::size_t kLongestCommand = 65'536;

const Regex& allowPattern() {
  static const Regex pattern(R"(^(?:1[\s.、：:]*)?允许本次删除$)");
  return pattern;
}

const Regex& denyPattern() {
  static const Regex pattern(R"(^(?:2[\s.、：:]*)?取消删除$)");
  return pattern;
}

std::optional<std::string> labelOfText(std::string_view text) {
  const std::string_view trimmed = trimWhitespaceAndNewlines(text);
  if (allowPattern().search(trimmed)) {
    return std::string(allowLabel);
  }
  if (denyPattern().search(trimmed)) {
    return std::string(denyLabel);
  }
  return std::nullopt;
}

void collectTexts(const NativeApprovalNode& node, bool skipButtons, std::vector<std::string>& out) {
  if (skipButtons && node.role == "AXButton") {
    return;
  }
  if (node.role == "AXStaticText") {
    std::set<std::string> own;
    for (const std::string& text : node.texts) {
      if (!trimWhitespaceAndNewlines(text).empty()) {
        own.insert(text);
      }
    }
    out.insert(out.end(), own.begin(), own.end());
    return;
  }
  for (const NativeApprovalNode& child : node.children) {
    collectTexts(child, skipButtons, out);
  }
}

std::vector<std::string> nodeTexts(const NativeApprovalNode& node, bool skipButtons) {
  std::vector<std::string> texts;
  collectTexts(node, skipButtons, texts);
  return texts;
}

std::optional<std::string> buttonLabel(const NativeApprovalNode& button) {
  const std::vector<std::string> own = distinctNonEmpty(button.texts);
  if (own.empty()) {
    std::string joined;
    for (const std::string& text : nodeTexts(button, false)) {
      joined += (joined.empty() ? "" : " ") + text;
    }
    return normalizedButtonLabel(joined);
  }
  std::optional<std::string> label;
  for (const std::string& text : own) {
    const auto classified = normalizedButtonLabel(text);
    if (!classified || (label && *label != *classified)) {
      return std::nullopt;
    }
    label = classified;
  }
  return label;
}

std::optional<long long> parseCount(const std::string& digits) {
  long long value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) {
    return std::nullopt;
  }
  return value;
}

bool isBatchDeletionText(const std::string& text) {
  static const Regex pattern(
      R"(^检测到批量删除操作[：:]\s*累计删除数量\s*([1-9][0-9]*)\s*项[，,]\s*阈值\s*([1-9][0-9]*)$)");
  const auto match = pattern.firstMatch(text);
  if (!match || !match->groups[1] || !match->groups[2]) {
    return false;
  }
  const auto count = parseCount(*match->groups[1]);
  const auto threshold = parseCount(*match->groups[2]);
  return count && threshold && *count >= *threshold;
}

void walkButtons(const NativeApprovalNode& node, Path& path, const std::string& rootID,
                 std::vector<std::pair<std::string, Path>>& allows, std::vector<std::pair<std::string, Path>>& denies) {
  if (!node.visible) {
    return;
  }
  path.push_back(&node);
  if (node.role == "AXButton") {
    const auto label = buttonLabel(node);
    if (label == allowLabel) {
      allows.emplace_back(rootID, path);
    } else if (label == denyLabel) {
      denies.emplace_back(rootID, path);
    }
  }
  for (const NativeApprovalNode& child : node.children) {
    walkButtons(child, path, rootID, allows, denies);
  }
  path.pop_back();
}

struct SubtreeStats {
  std::size_t nodes = 0;
  std::size_t buttons = 0;
  bool allVisible = true;
  int depth = 0;
};

void addStats(const NativeApprovalNode& node, SubtreeStats& stats, int level) {
  ++stats.nodes;
  stats.buttons += node.role == "AXButton" ? 1 : 0;
  stats.allVisible = stats.allVisible && node.visible;
  stats.depth = std::max(stats.depth, level);
  for (const NativeApprovalNode& child : node.children) {
    addStats(child, stats, level + 1);
  }
}

void staticTextIDs(const NativeApprovalNode& node, std::vector<std::string>& ids) {
  if (node.role == "AXButton") {
    return;
  }
  if (node.role == "AXStaticText" && !nodeTexts(node, true).empty()) {
    ids.push_back(node.id);
  }
  for (const NativeApprovalNode& child : node.children) {
    staticTextIDs(child, ids);
  }
}

void allIDs(const NativeApprovalNode& node, std::vector<std::string>& ids) {
  ids.push_back(node.id);
  for (const NativeApprovalNode& child : node.children) {
    allIDs(child, ids);
  }
}

NativeApprovalContext contextOf(std::string title, std::string risk, std::string command) {
  return {std::move(title), std::move(risk), std::move(command), std::string(allowLabel), std::string(denyLabel)};
}

std::optional<NativeApprovalMatch> groupedMatch(const NativeApprovalNode& container, const std::string& windowID,
                                                const NativeApprovalNode& allow, const NativeApprovalNode& deny) {
  if (container.role != "AXGroup") {
    return std::nullopt;
  }
  SubtreeStats stats;
  addStats(container, stats, 1);
  if (stats.nodes > kMostContainerNodes || stats.depth > kDeepestContainer || stats.buttons != 2 || !stats.allVisible) {
    return std::nullopt;
  }
  std::vector<std::string> batchLines;
  std::vector<std::string> riskLines;
  std::vector<std::string> others;
  for (std::string& text : nodeTexts(container, true)) {
    if (isBatchDeletionText(text)) {
      batchLines.push_back(std::move(text));
    } else if (text == riskText) {
      riskLines.push_back(std::move(text));
    } else {
      others.push_back(std::move(text));
    }
  }
  if (batchLines.size() != 1 || riskLines.size() != 1 || others.size() != 1 || !isCompleteCommand(others[0])) {
    return std::nullopt;
  }
  NativeApprovalMatch match{windowID,
                            container.id,
                            allow.id,
                            deny.id,
                            {},
                            NativeApprovalLayout::grouped,
                            contextOf(batchLines[0], riskLines[0], others[0])};
  staticTextIDs(container, match.contextNodeIDs);
  return match;
}

// The static text that `node` shows: itself, or the single text child of a
// text-less group that frames it.
const NativeApprovalNode* textLeaf(const NativeApprovalNode& node) {
  if (!node.enabled || !node.visible) {
    return nullptr;
  }
  if (node.role == "AXStaticText" && node.children.empty()) {
    return &node;
  }
  if (node.role != "AXGroup" || !node.texts.empty() || node.children.size() != 1) {
    return nullptr;
  }
  const NativeApprovalNode& child = node.children.front();
  if (child.role != "AXStaticText" || !child.children.empty() || !child.enabled || !child.visible ||
      !isValidFrame(node.frame) || !isValidFrame(child.frame) || !child.frame->isInside(*node.frame, 2)) {
    return nullptr;
  }
  return &child;
}

double maxX(const NodeFrame& f) { return f.x + f.width; }
double maxY(const NodeFrame& f) { return f.y + f.height; }

// Whether five nodes (title, risk, command, allow, deny) sit as the card does.
bool hasCardGeometry(const std::vector<const NativeApprovalNode*>& nodes) {
  for (const NativeApprovalNode* node : nodes) {
    if (!isValidFrame(node->frame)) {
      return false;
    }
  }
  const NodeFrame& title = *nodes[0]->frame;
  const NodeFrame& risk = *nodes[1]->frame;
  const NodeFrame& command = *nodes[2]->frame;
  const NodeFrame& allow = *nodes[3]->frame;
  const NodeFrame& deny = *nodes[4]->frame;
  const double h = allow.height;
  const double top = std::max(maxY(title), maxY(risk));
  return h >= 12 && h <= 128 &&                                                        // 1
         std::abs(allow.x - deny.x) <= 2 && std::abs(allow.width - deny.width) <= 2 && // 2
         std::abs(allow.height - deny.height) <= 2 &&                                  //
         deny.y >= maxY(allow) - 1 && deny.y - maxY(allow) <= std::min(h, 24.0) &&     // 3
         std::abs(title.x - command.x) <= h &&                                         // 4
         command.x >= allow.x - 2 && command.x <= allow.x + h &&                       // 5
         risk.x >= title.x - 2 && risk.x < maxX(allow) &&                              // 6
         risk.y >= title.y - 2 && risk.y < maxY(title) && maxY(risk) > title.y &&      // 7
         top <= command.y + 2 && command.y - top <= 2 * h &&                           // 8
         maxY(command) <= allow.y + 2 && allow.y - maxY(command) <= 2 * h &&           // 9
         top - title.y <= 4 * h && command.height <= 4 * h;                            // 10
}

std::optional<NativeApprovalMatch> flattenedMatch(const Path& allowPath, const Path& denyPath,
                                                  const NativeApprovalNode& parent, const std::string& windowID) {
  if (allowPath.size() < 2 || denyPath.size() < 2 || parent.role != "AXGroup" ||
      allowPath[allowPath.size() - 2]->id != parent.id || denyPath[denyPath.size() - 2]->id != parent.id) {
    return std::nullopt;
  }
  const auto& children = parent.children;
  const NativeApprovalNode& allow = *allowPath.back();
  const NativeApprovalNode& deny = *denyPath.back();
  std::size_t i = 0;
  while (i < children.size() && children[i].id != allow.id) {
    ++i;
  }
  if (i < 3 || i + 1 >= children.size() || children[i + 1].id != deny.id) {
    return std::nullopt;
  }
  const std::vector<const NativeApprovalNode*> s = {&children[i - 3], &children[i - 2], &children[i - 1], &children[i],
                                                    &children[i + 1]};
  const NativeApprovalNode& s0 = *s[0];
  if (!s0.enabled || !s0.visible || s0.role != "AXStaticText" || !s0.children.empty()) {
    return std::nullopt;
  }
  const NativeApprovalNode* leaf1 = textLeaf(*s[1]);
  const NativeApprovalNode* leaf2 = textLeaf(*s[2]);
  if (leaf1 == nullptr || leaf2 == nullptr) {
    return std::nullopt;
  }
  SubtreeStats stats;
  for (const NativeApprovalNode* node : s) {
    stats.allVisible = stats.allVisible && node->visible;
    addStats(*node, stats, 1);
  }
  if (!stats.allVisible || stats.nodes > kMostContainerNodes || stats.buttons != 2) {
    return std::nullopt;
  }
  if (i + 2 < children.size() && children[i + 2].role == "AXButton") {
    return std::nullopt;
  }
  std::vector<std::string> texts;
  for (const NativeApprovalNode* node : {&s0, leaf1, leaf2}) {
    const auto own = nodeTexts(*node, true);
    if (own.size() != 1) {
      return std::nullopt;
    }
    texts.push_back(own[0]);
  }
  if (!isBatchDeletionText(texts[0]) || texts[1] != riskText || !isCompleteCommand(texts[2]) ||
      isBatchDeletionText(texts[2]) || texts[2] == riskText) {
    return std::nullopt;
  }
  if (!hasCardGeometry(s) || !hasCardGeometry({&s0, leaf1, leaf2, &allow, &deny})) {
    return std::nullopt;
  }
  NativeApprovalMatch match{windowID,
                            parent.id,
                            allow.id,
                            deny.id,
                            {},
                            NativeApprovalLayout::flattened,
                            contextOf(texts[0], texts[1], texts[2])};
  for (const NativeApprovalNode* node : {s[0], s[1], s[2]}) {
    allIDs(*node, match.contextNodeIDs);
  }
  return match;
}

} // namespace

std::optional<std::string> normalizedButtonLabel(std::string_view text) {
  // Both labels end in 删除: most buttons of a scan are settled by that alone.
  if (text.find("删除") == std::string_view::npos || hasHiddenCharacters(text, HiddenCharacterRules::approvalCard)) {
    return std::nullopt;
  }
  return labelOfText(text);
}

bool isCompleteCommand(std::string_view command) {
  return !trimWhitespaceAndNewlines(command).empty() && command.size() <= kLongestCommand &&
         command.find("…") == std::string_view::npos && command.find("...") == std::string_view::npos &&
         command.find("⋯") == std::string_view::npos &&
         !hasHiddenCharacters(command, HiddenCharacterRules::approvalCard);
}

bool hasRecognizableButtons(const std::vector<NativeApprovalNode>& roots) {
  return anyNode(roots, [](const NativeApprovalNode& node) { return node.role == "AXButton" && buttonLabel(node); });
}

std::optional<NativeApprovalMatch> uniqueMatch(const std::vector<NativeApprovalNode>& roots) {
  std::vector<std::pair<std::string, Path>> allows;
  std::vector<std::pair<std::string, Path>> denies;
  for (const NativeApprovalNode& root : roots) {
    Path path;
    walkButtons(root, path, root.id, allows, denies);
  }
  if (allows.size() != 1 || denies.size() != 1 || allows[0].first != denies[0].first) {
    return std::nullopt;
  }
  const std::string& windowID = allows[0].first;
  const Path& allowPath = allows[0].second;
  const Path& denyPath = denies[0].second;
  const NativeApprovalNode& allow = *allowPath.back();
  const NativeApprovalNode& deny = *denyPath.back();
  if (!allow.enabled || !deny.enabled) {
    return std::nullopt;
  }
  std::size_t common = 0;
  while (common < allowPath.size() && common < denyPath.size() && allowPath[common]->id == denyPath[common]->id) {
    ++common;
  }
  if (common == 0) {
    return std::nullopt;
  }
  for (int candidate = 0; candidate < kGroupedCandidates && candidate < static_cast<int>(common); ++candidate) {
    if (auto match = groupedMatch(*allowPath[common - 1 - candidate], windowID, allow, deny)) {
      return match;
    }
  }
  return flattenedMatch(allowPath, denyPath, *allowPath[common - 1], windowID);
}

} // namespace notch::NativeApprovalClassifier
