#include "ui/NotchView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "app/AppModel.h"
#include "platform/Preferences.h"
#include "ui/ApprovalCard.h"
#include "ui/CardHeader.h"
#include "ui/CompactBadge.h"
#include "ui/CompletionCard.h"
#include "ui/IdleCard.h"
#include "ui/NotchShape.h"
#include "ui/NotchStyle.h"
#include "ui/QuestionCard.h"
#include "ui/ReceiptCard.h"

namespace notch {
namespace {

int points(double value) { return static_cast<int>(std::lround(value)); }

} // namespace

NotchView::NotchView(AppModel& model, const Clock& clock, Preferences& preferences, NotchViewOptions options,
                     QWidget* parent)
    : QWidget(parent), model_(model), options_(options), badge_(new CompactBadge(model, this)),
      expanded_(new QWidget(this)), header_(new CardHeader(model, expanded_)),
      approval_(new ApprovalCard(model, clock, expanded_)), receipt_(new ReceiptCard(model, expanded_)),
      question_(new QuestionCard(model, expanded_)), completion_(new CompletionCard(model, expanded_)),
      idle_(new IdleCard(model, preferences, expanded_)) {
  setObjectName("notch-view");
  // The notch is always dark, whatever the desktop's scheme.
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, Qt::black);
  palette.setColor(QPalette::WindowText, Qt::white);
  palette.setColor(QPalette::Text, Qt::white);
  palette.setColor(QPalette::ButtonText, Qt::white);
  palette.setColor(QPalette::Base, Qt::black);
  palette.setColor(QPalette::ToolTipBase, QColor(30, 30, 30));
  palette.setColor(QPalette::ToolTipText, Qt::white);
  setPalette(palette);
  setFont(NotchStyle::font(13));
  setFocusPolicy(Qt::StrongFocus);
  expanded_->setObjectName("notch-expanded");

  // Padding 32 at the sides (20 inside the surface, which is 12 narrower
  // on each side), 12 above and 22 below; cards 16 apart.
  auto* column = new QVBoxLayout(expanded_);
  column->setContentsMargins(32, 12, 32, 22);
  column->setSpacing(16);
  column->addWidget(header_);
  for (QWidget* card : std::initializer_list<QWidget*>{approval_, receipt_, question_, completion_, idle_}) {
    column->addWidget(card);
  }
  column->addStretch(1);

  modelChanges_ = model_.subscribe([this] { refresh(); });
  preferenceChanges_ = preferences.observe([this](const std::string&) { refresh(); });
  refresh();
}

NotchView::~NotchView() = default;

void NotchView::refresh() {
  const bool open = model_.isExpanded();
  badge_->refresh();
  QWidget* shown = nullptr;
  if (open) {
    header_->refresh();
    // First match wins: a receipt or a waiting request (a demonstration is one), then a question, then the end
    // of a turn, else the idle card.
    const AppState& state = model_.state();
    if (state.interaction.feedback()) {
      receipt_->refresh();
      shown = receipt_;
    } else if (state.interaction.current()) {
      approval_->refresh();
      shown = approval_;
    } else if (model_.questionShown()) {
      question_->refresh();
      shown = question_;
    } else if (model_.completionVisible()) {
      completion_->refresh();
      shown = completion_;
    } else {
      idle_->refresh();
      shown = idle_;
    }
  }
  if (shown != approval_) {
    approval_->stopTicking();
  }
  for (QWidget* card : std::initializer_list<QWidget*>{approval_, receipt_, question_, completion_, idle_}) {
    card->setVisible(card == shown);
  }
  badge_->setVisible(!open);
  expanded_->setVisible(open);
  placeChildren();
  updateGeometry();
  update();
}

int NotchView::columnWidth(int width) const {
  const AppState& state = model_.state();
  return std::min(width, points(model_.isExpanded() ? state.panelWidth : state.compactWidth));
}

int NotchView::expandedContentHeight(int width) const {
  // Force the pending show/hide of the cards into the layout before measuring.
  expanded_->layout()->activate();
  return expanded_->hasHeightForWidth() ? expanded_->heightForWidth(width) : expanded_->sizeHint().height();
}

int NotchView::fittingHeight(int width) const {
  const int strip = points(model_.state().notchHeight);
  return strip + (model_.isExpanded() ? expandedContentHeight(columnWidth(width)) : CompactBadge::rowHeight);
}

QSize NotchView::sizeHint() const {
  const int width = points(model_.state().panelWidth);
  return {width, fittingHeight(width)};
}

void NotchView::placeChildren() {
  const int strip = points(model_.state().notchHeight);
  const int column = columnWidth(width());
  const int left = (width() - column) / 2;
  if (model_.isExpanded()) {
    expanded_->setGeometry(left, strip, column, expandedContentHeight(column));
  } else {
    badge_->setGeometry(left, strip, column, CompactBadge::rowHeight);
  }
}

void NotchView::resizeEvent(QResizeEvent*) { placeChildren(); }

void NotchView::paintEvent(QPaintEvent*) {
  if (!options_.drawsSurface) {
    return;
  }
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillPath(centredNotchShapePath(width(), height(), columnWidth(width())), Qt::black);
}

void NotchView::enterEvent(QEnterEvent*) {
  if (options_.tracksPointer) {
    model_.setPointerInside(true);
  }
}

void NotchView::leaveEvent(QEvent*) {
  if (options_.tracksPointer) {
    model_.setPointerInside(false);
  }
}

void NotchView::mousePressEvent(QMouseEvent* event) {
  // Buttons and labels pass right clicks on to here.
  if (event->button() == Qt::RightButton) {
    emit menuRequested(event->globalPosition().toPoint());
    return;
  }
  QWidget::mousePressEvent(event);
}

} // namespace notch
