#include "core/native/NativeQuestionClassifier.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <set>
#include <unordered_set>

#include "core/text/HiddenCharacters.h"
#include "support/Regex.h"
#include "support/Unicode.h"

namespace notch {
namespace NativeQuestionClassifier {
namespace {

constexpr std::array<std::string_view, 3> kNavigationLabels = {"上一题", "下一题", "全部跳过"};
constexpr std::string_view kPrevious = "上一题";
constexpr std::string_view kNext = "下一题";
constexpr std::string_view kSkip = "全部跳过";
constexpr std::size_t kMostVisited = 20'000;
constexpr int kDeepest = 128;
constexpr int kMostOptions = 20;
constexpr int kMostPages = 100;

double maxX(const NodeFrame& f) { return f.x + f.width; }
double maxY(const NodeFrame& f) { return f.y + f.height; }
double midY(const NodeFrame& f) { return f.y + f.height / 2; }

std::optional<std::string> singleText(const NativeApprovalNode& node) {
  const auto texts = distinctNonEmpty(node.texts);
  if (texts.size() != 1 || hasHiddenCharacters(texts[0], HiddenCharacterRules::questionLines)) {
    return std::nullopt;
  }
  return texts[0];
}

std::string asciiLowered(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) {
    c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return lowered;
}

bool isAcceptableText(const std::string& text, std::size_t byteLimit, bool allowNewlines) {
  static const std::set<std::string> kNeverAQuestion = {"上一题",      "下一题",         "全部跳过",
                                                        "/",           "发送",           "send",
                                                        "其他补充…",   "其他补充...",    "其他（输入你的答案）",
                                                        "标题",        "问题标题",       "占位标题",
                                                        "placeholder", "question title", "title",
                                                        "loading",     "加载中"};
  static const Regex onlyDigits(R"(^\d+$)");
  if (text.size() > byteLimit || hasHiddenCharacters(text, allowNewlines ? HiddenCharacterRules::questionLines
                                                                         : HiddenCharacterRules::questionLine)) {
    return false;
  }
  const std::string_view trimmed = trimWhitespaceAndNewlines(text);
  if (trimmed.empty() || std::count(text.begin(), text.end(), '\n') + 1 > 16 ||
      kNeverAQuestion.contains(asciiLowered(trimmed)) || onlyDigits.search(trimmed)) {
    return false;
  }
  for (std::string_view marker : {"…", "...", "⋯", "{{", "}}", "${", "<placeholder>"}) {
    if (text.find(marker) != std::string::npos) {
      return false;
    }
  }
  return true;
}

std::optional<int> parseSmallNumber(std::string_view text, int maximum) {
  if (text.empty() || text.size() > 3 || text.front() == '0' ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  const int value = std::stoi(std::string(text));
  return value >= 1 && value <= maximum ? std::optional(value) : std::nullopt;
}

bool isTextLeaf(const NativeApprovalNode& node) {
  return node.role == "AXStaticText" && node.enabled && node.visible && node.children.empty() &&
         isValidFrame(node.frame);
}

bool isIcon(const NativeApprovalNode& node) {
  return node.role == "AXImage" && node.visible && node.children.empty() && distinctNonEmpty(node.texts).empty() &&
         isValidFrame(node.frame);
}

bool isNavigationButton(const NativeApprovalNode& node, std::string_view expected) {
  const auto text = singleText(node);
  if (node.role != "AXButton" || !text || *text != expected || !node.visible || !isValidFrame(node.frame) ||
      node.children.size() != 1) {
    return false;
  }
  const NativeApprovalNode& icon = node.children.front();
  return isIcon(icon) && icon.frame->isInside(*node.frame, 0);
}

bool isOptionRow(const NativeApprovalNode& row, int number) {
  if (row.role != "AXButton" || !row.visible || !isValidFrame(row.frame) || row.children.size() != 3) {
    return false;
  }
  const NativeApprovalNode& numeral = row.children[0];
  const NativeApprovalNode& label = row.children[1];
  const NativeApprovalNode& icon = row.children[2];
  const auto numeralText = singleText(numeral);
  const auto labelText = singleText(label);
  const auto rowText = singleText(row);
  if (!isTextLeaf(numeral) || !numeralText || parseSmallNumber(*numeralText, kMostOptions) != number ||
      !isTextLeaf(label) || !labelText || !isAcceptableText(*labelText, 1'024, false) || !isIcon(icon) || !rowText ||
      !isAcceptableText(*rowText, 1'100, true)) {
    return false;
  }
  const std::string numberWord = std::to_string(number);
  std::vector<std::string_view> expectedWords = {numberWord};
  for (std::string_view word : splitAtWhitespace(*labelText)) {
    expectedWords.push_back(word);
  }
  if (splitAtWhitespace(*rowText) != expectedWords) {
    return false;
  }
  const NodeFrame& o = *row.frame;
  const NodeFrame& n = *numeral.frame;
  const NodeFrame& l = *label.frame;
  const NodeFrame& i = *icon.frame;
  return n.isInside(o, 0) && l.isInside(o, 0) && i.isInside(o, 0) && maxX(n) <= l.x && maxX(l) <= i.x &&
         l.x - maxX(n) <= o.height && n.x - o.x <= o.height && maxX(o) - maxX(i) <= o.height &&
         std::abs(midY(n) - midY(o)) <= 2 && std::abs(midY(l) - midY(o)) <= 2 && std::abs(midY(i) - midY(o)) <= 2;
}

bool looksLikeOption(const NativeApprovalNode& node) {
  if (node.role != "AXButton" || node.children.empty() || node.children[0].role != "AXStaticText") {
    return false;
  }
  if (node.children.size() == 3 && node.children[1].role == "AXStaticText" && node.children[2].role == "AXImage") {
    return true;
  }
  const auto& texts = node.children[0].texts;
  return !texts.empty() && std::all_of(texts.begin(), texts.end(), [](const std::string& text) {
    return parseSmallNumber(text, kMostOptions).has_value();
  });
}

// Whether `node` or anything below it shows a small number, as a whole
// static text or as the first word of a longer text. Reaching a walk limit
// counts as showing one.
bool showsNumber(const NativeApprovalNode& node, std::size_t& visited, int depth) {
  if (++visited > kMostVisited || depth > kDeepest) {
    return true;
  }
  for (const std::string& text : node.texts) {
    if (node.role == "AXStaticText" && parseSmallNumber(text, kMostOptions)) {
      return true;
    }
    const auto words = splitAtWhitespace(text);
    if (words.size() >= 2 && parseSmallNumber(words[0], kMostOptions)) {
      return true;
    }
  }
  return std::any_of(node.children.begin(), node.children.end(),
                     [&](const NativeApprovalNode& child) { return showsNumber(child, visited, depth + 1); });
}

bool hasCardGeometry(const NativeApprovalNode& group, const std::array<const NativeApprovalNode*, 7>& s,
                     const std::vector<const NativeApprovalNode*>& options) {
  const NodeFrame& g = *group.frame;
  for (const NativeApprovalNode* node : s) {
    if (!isValidFrame(node->frame) || !node->frame->isInside(g, 0)) {
      return false;
    }
  }
  for (const NativeApprovalNode* node : options) {
    if (!isValidFrame(node->frame) || !node->frame->isInside(g, 0)) {
      return false;
    }
  }
  const NodeFrame& title = *s[0]->frame;
  const NodeFrame& previous = *s[1]->frame;
  const NodeFrame& skip = *s[6]->frame;
  const NodeFrame& first = *options.front()->frame;
  const double b = previous.height;
  if (b < 12 || b > 64) {
    return false;
  }
  for (const int k : {1, 5, 6}) {
    const NodeFrame& button = *s[k]->frame;
    if (std::abs(button.width - b) > 2 || std::abs(button.height - b) > 2 ||
        std::abs(midY(button) - midY(previous)) > 2) {
      return false;
    }
  }
  for (const int k : {2, 3, 4}) {
    const NodeFrame& text = *s[k]->frame;
    if (text.height < b / 3 || text.height > b || text.width > 2 * b || std::abs(midY(text) - midY(previous)) > 2) {
      return false;
    }
  }
  const double top = std::max(maxY(title), maxY(skip));
  if (std::abs(title.y - previous.y) > b / 2 || title.height > 16 * b || maxX(title) > previous.x + 1 ||
      previous.x - maxX(title) > 2 * b || first.height < b || first.height > 3 * b || first.width < 6 * b ||
      title.x < first.x || title.x > first.x + first.height || maxX(title) > maxX(first) || previous.x < first.x ||
      maxX(skip) > maxX(first) || first.y < top || first.y > top + 2 * b) {
    return false;
  }
  for (int k = 2; k <= 6; ++k) {
    const NodeFrame& before = *s[k - 1]->frame;
    const NodeFrame& after = *s[k]->frame;
    if (after.x < maxX(before) - 1 || after.x - maxX(before) > b) {
      return false;
    }
  }
  for (std::size_t k = 1; k < options.size(); ++k) {
    const NodeFrame& option = *options[k]->frame;
    const NodeFrame& above = *options[k - 1]->frame;
    if (std::abs(option.x - first.x) > 2 || std::abs(option.width - first.width) > 2 ||
        std::abs(option.height - first.height) > 2 || option.y < maxY(above) || option.y - maxY(above) > b) {
      return false;
    }
  }
  return true;
}

// The card anchored at the "全部跳过" button at child `k` of `group`.
std::optional<NativeQuestionMatch> candidateAt(const NativeApprovalNode& group, std::size_t k,
                                               const std::string& windowID) {
  const auto& children = group.children;
  std::array<const NativeApprovalNode*, 7> s{};
  for (std::size_t j = 0; j < 7; ++j) {
    s[j] = &children[k - 6 + j];
  }
  const auto title = singleText(*s[0]);
  const auto current = singleText(*s[2]);
  const auto slash = singleText(*s[3]);
  const auto total = singleText(*s[4]);
  if (!isTextLeaf(*s[0]) || !title || !isAcceptableText(*title, 4'096, true) || !isNavigationButton(*s[1], kPrevious) ||
      !isTextLeaf(*s[2]) || !isTextLeaf(*s[3]) || !isTextLeaf(*s[4]) || !current || !slash || !total || *slash != "/" ||
      !isNavigationButton(*s[5], kNext) || !isNavigationButton(*s[6], kSkip) || !s[6]->enabled) {
    return std::nullopt;
  }
  const auto currentPage = parseSmallNumber(*current, kMostPages);
  const auto totalPages = parseSmallNumber(*total, kMostPages);
  if (!currentPage || !totalPages || *totalPages < *currentPage || s[1]->enabled != (*currentPage >= 2) ||
      s[5]->enabled != (*currentPage < *totalPages)) {
    return std::nullopt;
  }
  std::vector<const NativeApprovalNode*> options;
  std::size_t next = k + 1;
  while (next < children.size() && looksLikeOption(children[next])) {
    options.push_back(&children[next]);
    if (options.size() > kMostOptions || !isOptionRow(children[next], static_cast<int>(options.size())) ||
        !children[next].enabled) {
      return std::nullopt;
    }
    ++next;
  }
  if (options.empty()) {
    return std::nullopt;
  }
  std::size_t visited = 0;
  for (; next < children.size(); ++next) {
    if (showsNumber(children[next], visited, 0)) {
      return std::nullopt; // a numbered line after the options: not the card we know
    }
  }
  if (!hasCardGeometry(group, s, options)) {
    return std::nullopt;
  }
  NativeQuestionMatch match{windowID, group.id, s[6]->id, {}, *title, *currentPage, *totalPages};
  std::set<std::string> distinct;
  for (const NativeApprovalNode* node : s) {
    match.contextNodeIDs.push_back(node->id);
    for (const NativeApprovalNode& child : node->children) {
      match.contextNodeIDs.push_back(child.id);
    }
  }
  distinct.insert(match.contextNodeIDs.begin(), match.contextNodeIDs.end());
  if (distinct.size() != match.contextNodeIDs.size()) {
    return std::nullopt;
  }
  return match;
}

void cardCandidates(const NativeApprovalNode& group, const NodeFrame& window, const std::string& windowID,
                    std::vector<NativeQuestionMatch>& found) {
  if (!isValidFrame(group.frame) || !group.frame->isInside(window, 0) || group.children.size() < 8) {
    return;
  }
  for (std::size_t k = 6; k + 1 < group.children.size(); ++k) {
    const NativeApprovalNode& child = group.children[k];
    if (child.role == "AXButton" && singleText(child) == kSkip) {
      if (auto candidate = candidateAt(group, k, windowID)) {
        found.push_back(std::move(*candidate));
      }
    }
  }
}

} // namespace

bool hasRecognizableQuestion(const std::vector<NativeApprovalNode>& roots) {
  return anyNode(roots, [](const NativeApprovalNode& node) {
    return node.role == "AXButton" && std::any_of(node.texts.begin(), node.texts.end(), [](const std::string& text) {
             return std::find(kNavigationLabels.begin(), kNavigationLabels.end(), text) != kNavigationLabels.end();
           });
  });
}

std::optional<NativeQuestionMatch> uniqueMatch(const std::vector<NativeApprovalNode>& roots) {
  struct Visit {
    const NativeApprovalNode* node;
    int depth;
    bool parentQualifies;
    const NativeApprovalNode* window;
  };
  std::vector<Visit> stack;
  for (auto root = roots.rbegin(); root != roots.rend(); ++root) {
    stack.push_back({&*root, 0, true, &*root});
  }
  std::size_t visited = 0;
  std::unordered_set<std::string_view> ids; // views of ids the roots own
  ids.reserve(2'048);
  std::array<int, 3> labelCounts{};
  std::vector<NativeQuestionMatch> candidates;
  while (!stack.empty()) {
    const Visit visit = stack.back();
    stack.pop_back();
    const NativeApprovalNode& node = *visit.node;
    if (++visited > kMostVisited || visit.depth > kDeepest || node.id.empty() || !ids.insert(node.id).second) {
      return std::nullopt;
    }
    if (node.role == "AXButton") {
      for (std::size_t label = 0; label < kNavigationLabels.size(); ++label) {
        labelCounts[label] += std::count(node.texts.begin(), node.texts.end(), kNavigationLabels[label]) > 0 ? 1 : 0;
      }
    }
    const bool isRoot = visit.depth == 0;
    const bool qualifies = visit.parentQualifies && node.visible && node.enabled &&
                           (!node.frame || isValidFrame(node.frame)) &&
                           (!isRoot || (node.role == "AXWindow" && isValidFrame(node.frame)));
    if (qualifies && node.role == "AXGroup" && isValidFrame(visit.window->frame)) {
      cardCandidates(node, *visit.window->frame, visit.window->id, candidates);
    }
    for (auto child = node.children.rbegin(); child != node.children.rend(); ++child) {
      stack.push_back({&*child, visit.depth + 1, qualifies, visit.window});
    }
  }
  if (labelCounts != std::array<int, 3>{1, 1, 1} || candidates.size() != 1) {
    return std::nullopt;
  }
  return candidates.front();
}

} // namespace NativeQuestionClassifier

namespace QuestionObservationFreshness {

bool acceptsWaiting(double capturedAt, double now, double environmentChangedAt, bool subscriptionCurrent, bool enabled,
                    bool background) {
  if (!std::isfinite(capturedAt) || !std::isfinite(now) || !std::isfinite(environmentChangedAt) ||
      !subscriptionCurrent || !enabled || !background) {
    return false;
  }
  return environmentChangedAt <= capturedAt && capturedAt <= now && now - capturedAt <= 1.5;
}

} // namespace QuestionObservationFreshness
} // namespace notch
