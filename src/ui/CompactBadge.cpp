#include "ui/CompactBadge.h"

#include <QFontMetrics>
#include <QPainter>

#include "app/AppModel.h"
#include "ui/CardHeader.h"
#include "ui/NotchIcons.h"
#include "ui/NotchStyle.h"

namespace notch {
namespace {

constexpr double dotSize = 5;
constexpr double symbolSize = 9;
constexpr double gap = 6;

} // namespace

CompactBadge::CompactBadge(AppModel& model, QWidget* parent) : QAbstractButton(parent), model_(model) {
  setObjectName("compact-badge");
  setFont(NotchStyle::font(10, QFont::Medium));
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::NoFocus);
  connect(this, &QAbstractButton::clicked, this, [this] {
    if (model_.isExpanded()) {
      model_.collapse();
    } else {
      model_.expand();
    }
  });
}

void CompactBadge::refresh() {
  const AppState& state = model_.state();
  const bool waiting = !state.interaction.requests().empty();
  const bool question = model_.questionShown();
  const bool open = model_.isExpanded();
  calm_ = !waiting && !question && state.serviceReady;
  iconName_ = waiting                      ? "hand.tap"
              : question                   ? "questionmark.bubble"
              : model_.completionVisible() ? "bell.badge"
              : open                       ? "chevron.up"
                                           : "chevron.down";
  setText(notchTitle(model_));
  const QString help = question ? "仅提醒 · 收起不会代答或跳过问题"
                       : open   ? "点击收起 · 不改变任何审批决定"
                                : "点击展开 · 收起不会允许或拒绝任何请求";
  const QString label = open      ? "收起 Vantrel Dozer 刘海"
                        : waiting ? "展开 " + QString::number(state.interaction.requests().size()) + " 条待确认请求"
                        : question ? "展开 WorkBuddy 待回答提醒"
                                   : "展开 Vantrel Dozer 刘海";
  if (toolTip() != help) {
    setToolTip(help);
  }
  if (accessibleName() != label) {
    setAccessibleName(label);
  }
  update();
}

void CompactBadge::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QFontMetrics metrics(font());
  const double room = width() - dotSize - symbolSize - 2 * gap - 24;
  const QString title = metrics.elidedText(text(), Qt::ElideRight, static_cast<int>(room));
  const double textWidth = metrics.horizontalAdvance(title);
  double x = (width() - (dotSize + gap + textWidth + gap + symbolSize)) / 2;
  const double middle = height() / 2.0;

  painter.setPen(Qt::NoPen);
  painter.setBrush(calm_ ? NotchStyle::mint() : NotchStyle::orange());
  painter.drawEllipse(QRectF(x, middle - dotSize / 2, dotSize, dotSize));
  x += dotSize + gap;
  painter.setPen(NotchStyle::white(0.9));
  painter.drawText(QRectF(x, 0, textWidth + 1, height()), Qt::AlignVCenter | Qt::AlignLeft, title);
  x += textWidth + gap;
  paintNotchIcon(painter, QRectF(x, middle - symbolSize / 2, symbolSize, symbolSize), iconName_,
                 NotchStyle::white(0.7));
}

} // namespace notch
