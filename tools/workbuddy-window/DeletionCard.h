#pragma once

// WorkBuddy's batch-deletion card: the batch line and the risk badge on one
// row, the command below them, then "1. 允许本次删除" above "取消删除".
//
// Grouped: the five parts alone in one group (the warning icon stays
// outside it). Flattened: the parts are siblings of the icon and of a
// footer line, all directly in the card, laid out as the card reader's
// geometry rules expect: texts and buttons left-aligned, the risk badge
// beside the batch line, the buttons stacked 8 apart. GUI thread only.

#include <QLabel>

#include "CardParts.h"

namespace notch::standin {

class DeletionCard final : public Card {
public:
  enum class Layout { grouped, flattened };

  DeletionCard(int id, Layout layout, const QString& command, const PressReport& report, QWidget* parent);

  void setCommand(const QString& command);
  void relayout() override;

private:
  Layout layout_;
  QLabel* icon_ = nullptr;
  QWidget* parts_ = nullptr; // the group holding the parts: a group of its own, or the card itself
  QLabel* title_ = nullptr;
  QLabel* risk_ = nullptr;
  QLabel* command_ = nullptr;
  QPushButton* allow_ = nullptr;
  QPushButton* deny_ = nullptr;
  QLabel* footer_ = nullptr; // flattened only
};

} // namespace notch::standin
