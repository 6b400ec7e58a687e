#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "core/native/CardBuilder.h"
#include "core/native/NativeQuestionClassifier.h"

namespace notch {
namespace {

using NativeQuestionClassifier::uniqueMatch;
using testing::axNode;
using testing::number;
using testing::setOptionRows;
using N = NativeApprovalNode;
using Path = std::vector<int>;                  // child indexes below the card group
using Edit = std::function<void(N&)>;           // changes the window before its ids are numbered
using Setter = std::function<void(N&, double)>; // sets one measure of the card group

N window(int current = 1, int total = 3, bool previous = false, bool next = true) {
  return axNode("AXWindow", {"WorkBuddy"}, {0, 0, 4000, 4000},
                {testing::QuestionCard{current, total, previous, next}.group()});
}
N& card(N& w) { return w.children[0]; }
N& at(N& n, const Path& path) { return path.empty() ? n : at(n.children[path[0]], Path(path.begin() + 1, path.end())); }
N scanned(const Edit& edit) {
  N w = window();
  edit(w);
  number(w);
  return w;
}
bool accepts(const Edit& edit) { return uniqueMatch({scanned(edit)}).has_value(); }

const auto both = [](auto first, auto second) { return [=](auto&&... args) { (first(args...), second(args...)); }; };
const auto say = [](Path p, auto... texts) -> Edit { return [=](N& w) { at(card(w), p).texts = {texts...}; }; };
const auto off = [](Path p, bool N::*flag) -> Edit { return [=](N& w) { at(card(w), p).*flag = false; }; };
const auto role = [](Path p, std::string name) -> Edit { return [=](N& w) { at(card(w), p).role = name; }; };
const auto add = [](Path p) -> Edit { // an image child covering the node
  return [=](N& w) { at(card(w), p).children.push_back(axNode("AXImage", {}, *at(card(w), p).frame)); };
};
const auto page = [](int current, int total, bool previous, bool next) -> Edit {
  return [=](N& w) { w = window(current, total, previous, next); };
};
const auto option = [](std::string label, std::string row) { return both(say({7}, row), say({7, 1}, label)); };
const auto options = [](int count) -> Edit { return [=](N& w) { setOptionRows(card(w), count); }; };
const auto after = [](N extra) -> Edit { return [=](N& w) { card(w).children.push_back(extra); }; };
const auto beside = [](N extra) -> Edit { return [=](N& w) { w.children.push_back(extra); }; };
const auto wrap = [](bool enabled, bool visible) -> Edit { // the card inside one more group
  return [=](N& w) { card(w) = N{"", "AXGroup", {}, enabled, visible, {card(w)}, NodeFrame{0, 0, 1, 1}}; };
};
const auto tall = [](double height) -> Edit { return [=](N& w) { w.frame->height = height; }; }; // the window
const auto wide = [](int total) -> Edit { // filler images up to `total` nodes in the scan
  return [=](N& w) { w.children.push_back(axNode("AXGroup", {}, {}, std::vector<N>(total - number(w) - 1, N{}))); };
};
std::string lines(int n) { return n == 1 ? "问" : lines(n - 1) + "\n问"; }

TEST(NativeQuestionClassifierTest, MatchesTheCardOnAnyPage) {
  const std::vector<std::string> context = {"ax-3", "ax-4", "ax-5",  "ax-6",  "ax-7",
                                            "ax-8", "ax-9", "ax-10", "ax-11", "ax-12"};
  EXPECT_EQ(uniqueMatch({scanned(page(1, 3, false, true))}),
            (NativeQuestionMatch{"ax-1", "ax-2", "ax-11", context, "选择部署环境？", 1, 3}));
  EXPECT_EQ(uniqueMatch({scanned(page(3, 3, true, false))}),
            (NativeQuestionMatch{"ax-1", "ax-2", "ax-11", context, "选择部署环境？", 3, 3}));
}

TEST(NativeQuestionClassifierTest, NearMissesAtEveryRule) {
  // "1" + pad + "选项1" is a row text of 1,100 bytes, one more space makes it 1,101.
  const std::string q1024(1'024, 'q'), q1025(1'025, 'q'), pad(1'092, ' ');
  const std::vector<Edit> accepted = {
      // Pages, texts and option counts at their limits.
      page(2, 3, true, true), page(1, 100, false, true), say({0}, lines(16)), say({0}, std::string(4'096, 'q')),
      say({0}, "选择？", "", "选择？"), option(q1024, "1 " + q1024), option("选项1", "1" + pad + "选项1"),
      option("选项1", "1\u00A0选项1"), option("方案 A", "1\u3000方案 A"), options(20),
      // Lines after the options that show no number.
      after(axNode("AXButton", {"4"})), after(axNode("AXStaticText", {"共 4 个选项"})),
      // The card one group deeper, the window just around it, the scan at its limits.
      wrap(true, true), tall(920), beside(testing::nest(axNode("AXGroup", {}), 127)), wide(20'000)};
  const std::vector<Edit> refused = {
      // Title text.
      say({0}, "LOADING"), say({0}, "Question Title"), say({0}, "其他（输入你的答案）"), say({0}, " \n "),
      say({0}, "12345"), say({0}, lines(17)), say({0}, "选择…"), say({0}, "选择..."), say({0}, "选择⋯"),
      say({0}, "选择{{x"), say({0}, "选择}}x"), say({0}, "选择${x"), say({0}, "<placeholder>选择"),
      say({0}, "选择\u200B环境"), say({0}, "选择\u2028环境"), say({0}, std::string(4'097, 'q')),
      say({0}, "选择？", "其他"),
      // The title as a text leaf.
      role({0}, "AXHeading"), off({0}, &N::enabled), off({0}, &N::visible), add({0}),
      [](N& w) { card(w).children[0].frame.reset(); },
      // Page numbers and the buttons' enabled states.
      say({2}, "0"), say({2}, "01"), say({2}, "1a"), say({4}, "101"), say({3}, "|"), off({2}, &N::enabled), add({4}),
      page(1, 3, true, true), page(2, 3, false, true), page(1, 3, false, false), page(3, 3, true, true),
      page(2, 1, true, false), off({6}, &N::enabled),
      // Navigation buttons and their icons.
      off({1}, &N::visible), add({1}), [](N& w) { card(w).children[1].children.clear(); },
      both(role({1}, "AXGroup"), beside(axNode("AXButton", {"上一题"}))), role({5, 0}, "AXStaticText"),
      off({5, 0}, &N::visible), add({5, 0}), say({5, 0}, "图标"),
      // Each label on exactly one button of the scan.
      beside(axNode("AXButton", {"上一题"})), beside(axNode("AXButton", {"下一题"})),
      beside(axNode("AXButton", {"全部跳过"})),
      // Option rows.
      say({9, 0}, "4"), options(21), role({8}, "AXGroup"), off({8}, &N::visible), off({8}, &N::enabled), add({7}),
      role({7, 2}, "AXStaticText"), role({7, 1}, "AXImage"), off({7, 0}, &N::enabled), option(q1025, "1 " + q1025),
      option("a\nb", "1 a\nb"), option("Send", "1 Send"), option("选项1", "1 选项一"), option("选项1", "1 选项1 外"),
      option("选项1", "1 " + pad + "选项1"),
      // A numbered line after the options.
      after(axNode("AXStaticText", {"4"})), after(axNode("AXStaticText", {"4 另一个选项"})),
      after(axNode("AXStaticText", {"4\u3000另一个选项"})),
      after(axNode("AXGroup", {}, {}, {axNode("AXStaticText", {"4"})})),
      // Where the card sits.
      [](N& w) { w.role = "AXGroup"; }, [](N& w) { w.frame.reset(); }, tall(919.5), wrap(false, true),
      wrap(true, false), off({}, &N::enabled), beside(testing::nest(axNode("AXGroup", {}), 128)), wide(20'001)};
  for (std::size_t k = 0; k < accepted.size(); ++k) {
    EXPECT_TRUE(accepts(accepted[k])) << "accepted row " << k;
  }
  for (std::size_t k = 0; k < refused.size(); ++k) {
    EXPECT_FALSE(accepts(refused[k])) << "refused row " << k;
  }
}

TEST(NativeQuestionClassifierTest, EveryNodeNeedsItsOwnID) {
  for (const auto& [id, accepted] : {std::pair{"ax-99", true}, {"", false}, {"ax-3", false}}) {
    N w = scanned(beside(axNode("AXImage", {})));
    w.children.back().id = id;
    EXPECT_EQ(uniqueMatch({w}).has_value(), accepted) << id;
  }
}

void place(N& n, double factor, double dx, double dy) {
  NodeFrame& f = *n.frame;
  f = {f.x * factor + dx, f.y * factor + dy, f.width * factor, f.height * factor};
  for (N& child : n.children) {
    place(child, factor, dx, dy);
  }
}
const auto field = [](Path p, double NodeFrame::*m) -> Setter {
  return [=](N& g, double v) { at(g, p).frame.value().*m = v; };
};
const auto nudge = [](std::vector<Path> paths, double dx, double dy, double from = 0) -> Setter { // by v - from
  return [=](N& g, double v) {
    for (const Path& p : paths) {
      place(at(g, p), 1, dx * (v - from), dy * (v - from));
    }
  };
};
const auto high = [](Path p) { // the height of a 16-high text, around its centre
  return both(field(p, &NodeFrame::height), nudge({p}, 0, -0.5, 16));
};

// Each measure of the card (laid out above, b = 24) set just inside its limit, which is accepted, then just
// outside, which is refused; anything else the change would break is moved along.
TEST(NativeQuestionClassifierTest, GeometryBoundaries) {
  const std::vector<Path> header = {{1}, {2}, {3}, {4}, {5}, {6}}, rows = {{7}, {8}, {9}};
  const Setter b = [](N& g, double v) { place(g, v / 24, 0, 0); }; // the whole card scaled
  const Setter titleLeft = [](N& g, double v) { g.children[0].frame = NodeFrame{v, 110, 143 - v, 24}; };
  const Setter tinyTitle = [](N& g, double) { g.children[0].frame->width = 0.5; };
  struct Bound {
    const char* rule;
    Setter set;
    std::vector<double> values; // pairs: just inside, just outside
  };
  const std::vector<Bound> bounds = {
      {"b from 12 to 64", b, {12, 11.5, 64, 64.5}},
      {"button width b ± 2", field({6}, &NodeFrame::width), {26, 26.5}},
      {"button height b ± 2", field({5}, &NodeFrame::height), {26, 26.5}},
      {"button centred on 上一题", nudge({{6}}, 0, 1), {2, 2.5}},
      {"page text from b/3 to b high", high({2}), {8, 7.5, 24, 24.5}},
      {"page text at most 2b wide", both(field({4}, &NodeFrame::width), nudge({{5}, {6}}, 1, 0, 10)), {48, 48.5}},
      {"page text centred on 上一题", nudge({{3}}, 0, 1), {2, 2.5}},
      {"title top within b/2 of 上一题", nudge({{0}}, 0, 1), {12, 12.5}},
      {"title at most 16b high", both(field({0}, &NodeFrame::height), nudge(rows, 0, 1, 24)), {384, 384.5}},
      {"title ends by 上一题 + 1", field({0}, &NodeFrame::width), {33, 33.5}},
      {"title ends at most 2b before 上一题", nudge(header, 1, 0), {46, 46.5}},
      {"first option from b to 3b high", [](N& g, double v) { setOptionRows(g, 3, v); }, {24, 23.5, 72, 72.5}},
      {"first option at least 6b wide", [](N& g, double v) { setOptionRows(g, 3, 32, v); }, {144, 143.5}},
      {"title starts at most a row height into the first option", titleLeft, {110, 109.5, 142, 142.5}},
      {"上一题 within the first option", both(tinyTitle, nudge(header, 1, 0, 142)), {110, 109.5}},
      {"全部跳过 ends within the first option",
       both([](N& g, double v) { g.children[0].frame->width = v - 220; }, nudge(header, 1, 0, 250)),
       {310, 310.5}},
      {"options start at most 2b below the header", nudge(rows, 0, 1), {-16, -16.5, 32, 32.5}},
      {"page row overlaps by at most 1", field({2}, &NodeFrame::x), {165, 164.5}},
      {"page row gaps at most b", nudge({{5}, {6}}, 1, 0), {22, 22.5}},
      {"options aligned within 2", nudge({{8}}, 1, 0), {2, 2.5}},
      {"options as wide within 2", field({8}, &NodeFrame::width), {202, 202.5}},
      {"options as high within 2", field({8}, &NodeFrame::height), {34, 34.5}},
      {"options from 0 to b apart", nudge({{9}}, 0, 1), {-4, -4.5, 20, 20.5}},
      {"label inside its row", high({7, 1}), {32, 32.5}},
      {"label from 0 to a row height after numeral", field({7, 1}, &NodeFrame::x), {126, 125.5, 158, 158.5}},
      {"label before icon", field({7, 1}, &NodeFrame::width), {152, 152.5}},
      {"numeral from 0 to a row height in", nudge({{7, 0}, {7, 1}}, 1, 0), {-8, -8.5, 24, 24.5}},
      {"icon inside, at most a row height from the row's end", field({7, 2}, &NodeFrame::x), {294, 294.5, 262, 261.5}},
      {"numeral centred", nudge({{7, 0}}, 0, 1), {2, 2.5}},
      {"label centred", nudge({{7, 1}}, 0, 1), {2, 2.5}},
      {"icon centred", nudge({{7, 2}}, 0, 1), {2, 2.5}},
      {"navigation icon inside its button", field({5, 0}, &NodeFrame::x), {208, 208.5}},
      {"options inside the group", field({}, &NodeFrame::width), {210, 209.5}},
      {"header inside the group", field({}, &NodeFrame::y), {110, 110.5}}};
  for (const Bound& bound : bounds) {
    for (std::size_t k = 0; k < bound.values.size(); ++k) {
      EXPECT_EQ(accepts([&](N& w) { bound.set(card(w), bound.values[k]); }), k % 2 == 0) << bound.rule << " " << k;
    }
  }
}

TEST(NativeQuestionClassifierTest, RecognisesANavigationLabelOnAnyButton) {
  using NativeQuestionClassifier::hasRecognizableQuestion;
  EXPECT_TRUE(hasRecognizableQuestion({axNode("AXWindow", {}, {}, {axNode("AXButton", {"返回", "全部跳过"})})}));
  EXPECT_FALSE(hasRecognizableQuestion({axNode("AXStaticText", {"上一题"}), axNode("AXButton", {"下一题 "})}));
}

TEST(QuestionObservationFreshnessTest, OnlyRecentObservationsAfterTheLastChange) {
  using QuestionObservationFreshness::acceptsWaiting;
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  EXPECT_TRUE(acceptsWaiting(10, 11.5, 10, true, true, true));        // 1.5 s old, captured at the change
  EXPECT_FALSE(acceptsWaiting(10, 11.5000001, 10, true, true, true)); // older
  EXPECT_TRUE(acceptsWaiting(10, 10, 9.9999999, true, true, true));   // captured now
  EXPECT_FALSE(acceptsWaiting(10, 11, 10.0000001, true, true, true)); // before the last change
  EXPECT_FALSE(acceptsWaiting(10.0000001, 10, 9, true, true, true));  // from the future
  EXPECT_FALSE(acceptsWaiting(10, 11, 9, false, true, true));
  EXPECT_FALSE(acceptsWaiting(10, 11, 9, true, false, true));
  EXPECT_FALSE(acceptsWaiting(10, 11, 9, true, true, false));
  EXPECT_FALSE(acceptsWaiting(nan, 11, 9, true, true, true));
  EXPECT_FALSE(acceptsWaiting(10, inf, 9, true, true, true));
  EXPECT_FALSE(acceptsWaiting(10, 11, -inf, true, true, true));
}

} // namespace
} // namespace notch
