#include "DeletionCard.h"

#include <algorithm>

namespace notch::standin {
namespace {

constexpr int kPadding = 16;
constexpr int kIndent = 40; // texts and buttons start right of the icon
constexpr int kButtonHeight = 32;
constexpr int kMostCommandHeight = 4 * kButtonHeight; // taller is not the card the reader knows
constexpr int kNarrowest = 520;

} // namespace

DeletionCard::DeletionCard(int id, Layout layout, const QString& command, const PressReport& report, QWidget* parent)
    : Card(id, parent), layout_(layout) {
  setObjectName("card");
  setAttribute(Qt::WA_StyledBackground);
  icon_ = iconLabel(IconShape::warning, this);
  // Grouped: one more, text-less group, created after the icon so that it
  // is its next sibling and the parts are its only children.
  parts_ = layout == Layout::grouped ? new QWidget(this) : this;
  title_ = textLabel("检测到批量删除操作：累计删除数量 5 项，阈值 3", parts_);
  title_->setObjectName("title");
  risk_ = textLabel("高风险命令，可能影响系统稳定性", parts_);
  risk_->setObjectName("risk");
  risk_->setAlignment(Qt::AlignCenter);
  command_ = textLabel(command, parts_);
  command_->setObjectName("command");
  command_->setWordWrap(true);
  command_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  QFont mono = command_->font();
  mono.setFamily("DejaVu Sans Mono"); // CJK in a command falls back to the window's font
  command_->setFont(mono);
  allow_ = reportingButton("1. 允许本次删除", "1. 允许本次删除", parts_, report);
  allow_->setObjectName("allow");
  deny_ = reportingButton("取消删除", "取消删除", parts_, report);
  if (layout == Layout::flattened) {
    footer_ = textLabel("确认后 WorkBuddy 将继续执行该命令", this);
    footer_->setObjectName("footer");
  }
  relayout();
}

void DeletionCard::setCommand(const QString& command) {
  command_->setText(command);
  relayout();
}

void DeletionCard::relayout() {
  const int line = lineHeight(this);
  title_->setGeometry(kIndent, kPadding, textWidth(this, title_->text()), line);
  risk_->setGeometry(title_->geometry().right() + 13, kPadding, textWidth(this, risk_->text()) + 12, line);
  const int width = std::max(kNarrowest, risk_->geometry().right() + 1 + kPadding);
  const int inner = width - kIndent - kPadding;
  const int commandTop = kPadding + line + 10;
  const int commandHeight = std::clamp(command_->heightForWidth(inner), line, kMostCommandHeight);
  command_->setGeometry(kIndent, commandTop, inner, commandHeight);
  allow_->setGeometry(kIndent, commandTop + commandHeight + 12, inner, kButtonHeight);
  deny_->setGeometry(kIndent, allow_->geometry().bottom() + 1 + 8, inner, kButtonHeight);
  int bottom = deny_->geometry().bottom() + 1;
  if (footer_ != nullptr) {
    footer_->setGeometry(kIndent, bottom + 10, textWidth(this, footer_->text()), line);
    bottom = footer_->geometry().bottom() + 1;
  }
  icon_->setGeometry(kPadding, kPadding + (line - 16) / 2, 16, 16);
  resize(width, bottom + kPadding);
  if (parts_ != this) {
    parts_->setGeometry(0, 0, width, bottom + kPadding);
  }
}

} // namespace notch::standin
