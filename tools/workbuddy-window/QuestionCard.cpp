#include "QuestionCard.h"

#include <algorithm>

namespace notch::standin {
namespace {

constexpr int kPadding = 16;
constexpr int kButton = 24; // the icon buttons, square
constexpr int kGap = 2;     // between the header row's items
constexpr int kRowHeight = 40;
constexpr int kRowGap = 8;
constexpr int kWidth = 400;

QPushButton* iconButton(const QString& name, IconShape shape, bool enabled, QWidget* parent,
                        const PressReport& report) {
  QPushButton* button = reportingButton(name, QString(), parent, report);
  button->setObjectName("icon");
  button->setEnabled(enabled);
  iconLabel(shape, button)->setGeometry(4, 4, 16, 16);
  return button;
}

} // namespace

QuestionCard::QuestionCard(int id, const QString& title, int current, int total, const QStringList& options,
                           const PressReport& report, QWidget* parent)
    : Card(id, parent) {
  setObjectName("card");
  setAttribute(Qt::WA_StyledBackground);
  // The children's order is the order the reader walks: title, navigation, options.
  title_ = textLabel(title, this);
  title_->setObjectName("question");
  title_->setWordWrap(true);
  title_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  previous_ = iconButton("上一题", IconShape::left, current >= 2, this, report);
  current_ = textLabel(QString::number(current), this);
  slash_ = textLabel("/", this);
  total_ = textLabel(QString::number(total), this);
  for (QLabel* page : {current_, slash_, total_}) {
    page->setAlignment(Qt::AlignCenter);
  }
  next_ = iconButton("下一题", IconShape::right, current < total, this, report);
  skip_ = iconButton("全部跳过", IconShape::skip, true, this, report);
  for (int k = 0; k < options.size(); ++k) {
    const QString numeral = QString::number(k + 1);
    Row row{};
    row.button = reportingButton(numeral + " " + options[k], QString(), this, report);
    row.button->setObjectName("option");
    row.numeral = textLabel(numeral, row.button);
    row.label = textLabel(options[k], row.button);
    row.chevron = iconLabel(IconShape::chevron, row.button);
    rows_.push_back(row);
  }
  relayout();
}

void QuestionCard::relayout() {
  const int textHeight = std::min(kButton, fontMetrics().height());
  const int textTop = kPadding + (kButton - textHeight) / 2;
  // The header row from its right end: it ends where the option rows end.
  int x = kWidth - kPadding;
  for (QWidget* item : std::initializer_list<QWidget*>{skip_, next_, total_, slash_, current_, previous_}) {
    const bool isButton = item == skip_ || item == next_ || item == previous_;
    const int width = isButton ? kButton : textWidth(this, static_cast<QLabel*>(item)->text());
    x -= width;
    item->setGeometry(x, isButton ? kPadding : textTop, width, isButton ? kButton : textHeight);
    x -= kGap;
  }
  const int titleWidth = previous_->x() - 8 - kPadding;
  title_->setGeometry(kPadding, kPadding, titleWidth, std::max(kButton, title_->heightForWidth(titleWidth)));
  int y = std::max(title_->geometry().bottom(), kPadding + kButton - 1) + 1 + 12;
  const int rowWidth = kWidth - 2 * kPadding;
  for (const Row& row : rows_) {
    row.button->setGeometry(kPadding, y, rowWidth, kRowHeight);
    const int lineTop = (kRowHeight - textHeight) / 2;
    row.numeral->setGeometry(12, lineTop, textWidth(this, row.numeral->text()), textHeight);
    const int labelLeft = row.numeral->geometry().right() + 1 + 8;
    const int chevronLeft = rowWidth - 12 - 16;
    row.chevron->setGeometry(chevronLeft, (kRowHeight - 16) / 2, 16, 16);
    row.label->setGeometry(labelLeft, lineTop, chevronLeft - 8 - labelLeft, textHeight);
    y += kRowHeight + kRowGap;
  }
  resize(kWidth, y - kRowGap + kPadding);
}

} // namespace notch::standin
