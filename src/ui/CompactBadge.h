#pragma once

// The compact badge under the physical notch: one flat button, 24 tall,
// showing a status dot (mint when all is quiet and the bridge serves,
// orange when something waits or the bridge is down), the notch's title
// and a symbol for what waits. A click opens or closes the notch and
// decides nothing; a right click asks for the status menu (where no tray
// exists, the menu opens at the badge). Main thread only.

#include <QAbstractButton>
#include <QPoint>
#include <QString>

namespace notch {

class AppModel;

class CompactBadge : public QAbstractButton {
  Q_OBJECT

public:
  static constexpr int rowHeight = 24;

  explicit CompactBadge(AppModel& model, QWidget* parent = nullptr);
  void refresh();

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  AppModel& model_;
  bool calm_ = true;
  QString iconName_;
};

} // namespace notch
