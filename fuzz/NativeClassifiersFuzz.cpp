// Builds node trees from fuzz bytes and runs both card classifiers over
// them. Whatever they report must name nodes of the tree; the sanitizers
// watch everything else. Roles, texts and frames are drawn from small sets
// that include the cards' own, so that near-cards are common.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "core/native/NativeApprovalClassifier.h"
#include "core/native/NativeQuestionClassifier.h"

namespace {

using notch::NativeApprovalNode;

class Bytes {
public:
  Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t next() { return offset_ < size_ ? data_[offset_++] : 0; }
  bool done() const { return offset_ >= size_; }

private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t offset_ = 0;
};

const char* const kRoles[] = {"AXGroup", "AXStaticText", "AXButton", "AXImage", "AXWindow"};
const char* const kTexts[] = {"检测到批量删除操作：累计删除数量 5 项，阈值 3",
                              "高风险命令，可能影响系统稳定性",
                              "rm -rf ./build",
                              "1. 允许本次删除",
                              "取消删除",
                              "上一题",
                              "下一题",
                              "全部跳过",
                              "1",
                              "2",
                              "3",
                              "/",
                              "1 选项",
                              "选项",
                              "选择部署环境？",
                              "…",
                              "\u200B删除",
                              ""};

NativeApprovalNode build(Bytes& bytes, int depth, int& counter) {
  NativeApprovalNode node;
  node.id = "ax-" + std::to_string(++counter);
  node.role = kRoles[bytes.next() % std::size(kRoles)];
  const int texts = bytes.next() % 3;
  for (int i = 0; i < texts; ++i) {
    node.texts.emplace_back(kTexts[bytes.next() % std::size(kTexts)]);
  }
  const std::uint8_t flags = bytes.next();
  node.enabled = (flags & 1) != 0;
  node.visible = (flags & 2) != 0;
  if ((flags & 4) != 0) {
    node.frame = notch::NodeFrame{bytes.next() * 4.0, bytes.next() * 4.0, bytes.next() * 2.0, bytes.next() * 1.0};
  }
  const int children = depth < 6 ? bytes.next() % 9 : 0;
  for (int i = 0; i < children && !bytes.done(); ++i) {
    node.children.push_back(build(bytes, depth + 1, counter));
  }
  return node;
}

void idsOf(const NativeApprovalNode& node, std::set<std::string>& ids) {
  ids.insert(node.id);
  for (const NativeApprovalNode& child : node.children) {
    idsOf(child, ids);
  }
}

void require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Bytes bytes(data, size);
  int counter = 0;
  std::vector<NativeApprovalNode> roots;
  while (!bytes.done() && roots.size() < 3) {
    NativeApprovalNode root = build(bytes, 0, counter);
    root.role = "AXWindow";
    roots.push_back(std::move(root));
  }
  std::set<std::string> ids;
  for (const NativeApprovalNode& root : roots) {
    idsOf(root, ids);
  }
  if (const auto match = notch::NativeApprovalClassifier::uniqueMatch(roots)) {
    require(ids.contains(match->windowID) && ids.contains(match->containerID) && ids.contains(match->allowID) &&
            ids.contains(match->denyID));
    for (const std::string& id : match->contextNodeIDs) {
      require(ids.contains(id));
    }
  }
  if (const auto match = notch::NativeQuestionClassifier::uniqueMatch(roots)) {
    require(ids.contains(match->windowID) && ids.contains(match->containerID) && ids.contains(match->anchorID));
    for (const std::string& id : match->contextNodeIDs) {
      require(ids.contains(id));
    }
  }
  notch::NativeApprovalClassifier::hasRecognizableButtons(roots);
  notch::NativeQuestionClassifier::hasRecognizableQuestion(roots);
  return 0;
}
