#pragma once

// WorkBuddy's question card: the question on the left of a header row whose
// right end holds "上一题", the page ("1", "/", "2"), "下一题" and "全部跳过"
// (24-pixel icon buttons, each with its icon as its only child), then one
// numbered row per option (a button named "N option" holding the numeral,
// the option and a chevron). "上一题" is enabled from the second page on,
// "下一题" before the last, as WorkBuddy does. GUI thread only.

#include <QLabel>
#include <QStringList>
#include <vector>

#include "CardParts.h"

namespace notch::standin {

class QuestionCard final : public Card {
public:
  // `current` and `total` in 1...100 with current ≤ total; 1...20 options.
  QuestionCard(int id, const QString& title, int current, int total, const QStringList& options,
               const PressReport& report, QWidget* parent);

  void relayout() override;

private:
  struct Row {
    QPushButton* button;
    QLabel* numeral;
    QLabel* label;
    QLabel* chevron;
  };

  QLabel* title_ = nullptr;
  QPushButton* previous_ = nullptr;
  QLabel* current_ = nullptr;
  QLabel* slash_ = nullptr;
  QLabel* total_ = nullptr;
  QPushButton* next_ = nullptr;
  QPushButton* skip_ = nullptr;
  std::vector<Row> rows_;
};

} // namespace notch::standin
