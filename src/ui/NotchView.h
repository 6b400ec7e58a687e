#pragma once

// The notch's content: a clear strip as tall as the physical notch, and
// below it either the compact badge or the expanded card (header plus
// exactly one of: the request or its receipt, a question reminder, a
// turn-end reminder, the idle card; first match in that order). The column
// is `panelWidth` wide when open and `compactWidth` when closed, centred in
// the view, which is as wide as the panel.
//
// The view decides nothing: every button calls the model, and every model
// or preference change updates the existing widgets in place (texts,
// enabled states, which card is visible), so hover, scroll position and
// focus survive. Inside the notch panel the viewport paints the surface
// and the delegate tracks the pointer; standing alone (previews), the view
// can do both itself. Main thread only.

#include <QPoint>
#include <QWidget>

#include "support/ObserverList.h"

namespace notch {

class AppModel;
class ApprovalCard;
class CardHeader;
class Clock;
class CompactBadge;
class CompletionCard;
class IdleCard;
class Preferences;
class QuestionCard;
class ReceiptCard;

struct NotchViewOptions {
  bool tracksPointer = false; // report the pointer entering and leaving to the model
  bool drawsSurface = false;  // paint the black notch surface behind the content
};

class NotchView : public QWidget {
  Q_OBJECT

public:
  NotchView(AppModel& model, const Clock& clock, Preferences& preferences, NotchViewOptions options,
            QWidget* parent = nullptr);
  ~NotchView() override;

  // The natural height of strip and content for a view `width` wide.
  int fittingHeight(int width) const;

  QSize sizeHint() const override;
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override { return fittingHeight(width); }

signals:
  // A right click anywhere on the notch: where no tray exists the status menu opens there.
  void menuRequested(QPoint globalPosition);

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

private:
  void refresh();
  void placeChildren();
  int columnWidth(int width) const;
  int expandedContentHeight(int width) const;

  AppModel& model_;
  NotchViewOptions options_;
  CompactBadge* badge_;
  QWidget* expanded_;
  CardHeader* header_;
  ApprovalCard* approval_;
  ReceiptCard* receipt_;
  QuestionCard* question_;
  CompletionCard* completion_;
  IdleCard* idle_;
  // Last: dropped first, so no change reaches a half-destroyed view.
  Subscription modelChanges_;
  Subscription preferenceChanges_;
};

} // namespace notch
