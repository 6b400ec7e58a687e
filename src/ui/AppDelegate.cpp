#include "ui/AppDelegate.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "app/AppModel.h"
#include "app/PreferenceKeys.h"
#include "ui/NotchIcons.h"
#include "ui/NotchPanel.h"
#include "ui/NotchShape.h"
#include "ui/NotchView.h"
#include "ui/NotchViewport.h"
#include "ui/OutsideClicks.h"
#include "ui/VerticalRevealAnimator.h"
#include "ui/layout/NotchGeometry.h"

namespace notch {
namespace {

constexpr const char* settingsTitle = "Vantrel Dozer · 接入与交互";

bool contains(const std::vector<std::string>& arguments, const char* flag) {
  return std::find(arguments.begin(), arguments.end(), flag) != arguments.end();
}

bool isMouseDown(const QEvent* event) {
  if (event->type() != QEvent::MouseButtonPress) {
    return false;
  }
  const auto button = static_cast<const QMouseEvent*>(event)->button();
  return button == Qt::LeftButton || button == Qt::RightButton;
}

// The monochrome menu-bar mark the app ships, else the shield symbol.
QIcon statusIcon() {
  constexpr int size = 18;
  QPixmap mark = menuBarTemplatePixmap(size);
  if (mark.isNull()) {
    mark = notchIconPixmap("checkmark.shield", size, Qt::black);
  }
  QIcon icon(mark);
  icon.setIsMask(true);
  return icon;
}

} // namespace

QString AppDelegate::idleToolTip() { return "Vantrel Dozer · 待命"; }

bool askToQuitWithWaitingRequests(std::size_t waiting) {
  QMessageBox alert;
  alert.setWindowTitle("Vantrel Dozer");
  alert.setIcon(QMessageBox::Warning);
  alert.setText(QString("还有 %1 条请求待确认").arg(waiting));
  alert.setInformativeText("退出会把它们交回 WorkBuddy 原流程，不会自动允许。");
  QPushButton* keep = alert.addButton("继续查看", QMessageBox::RejectRole);
  QPushButton* handBack = alert.addButton("交回 WorkBuddy 并退出", QMessageBox::AcceptRole);
  alert.setDefaultButton(keep);
  alert.setEscapeButton(keep);
  alert.activateWindow();
  alert.exec();
  return alert.clickedButton() == handBack;
}

AppDelegate::AppDelegate(std::shared_ptr<AppModel> model, AppDelegateEnvironment environment)
    : model_(std::move(model)), environment_(std::move(environment)) {
  if (!environment_.confirmQuit) {
    environment_.confirmQuit = askToQuitWithWaitingRequests;
  }
}

AppDelegate::~AppDelegate() {
  if (launched_) {
    qApp->removeEventFilter(this);
  }
  delete panel_;
  delete settingsWindow_;
}

void AppDelegate::launch(const std::vector<std::string>& arguments) {
  createStatusItem();
  createPanel();
  model_->setExpansionPresentation(model_->state().interaction.expanded());

  QPointer<AppDelegate> weak(this);
  model_->showSettings = [weak] {
    if (weak) {
      weak->openSettings();
    }
  };
  model_->onQuitRequested = [weak] {
    if (weak) {
      weak->quit();
    }
  };
  observation_ = model_->subscribe([this] { scheduleLayout(); });
  displayObserver_ = environment_.screens.observe([this] { scheduleLayout(); });
  qApp->installEventFilter(this);
  outsideClicks_ = std::make_unique<OutsideClicks>([weak] {
    // Raw presses arrive while Qt reads its events: act once that is done.
    QTimer::singleShot(0, weak, [weak] {
      weak->synchronisePointer();
      weak->model_->collapseIfIdle();
    });
  });
  launched_ = true;

  if (contains(arguments, "--enable-native-approvals")) {
    environment_.preferences.setBool(PreferenceKeys::nativeApprovals, true);
  }
  if (contains(arguments, "--enable-completion-reminders")) {
    environment_.preferences.setBool(PreferenceKeys::completionReminders, true);
  }
  model_->start();
  if (contains(arguments, "--enable-native-approvals") && !model_->state().nativeAccessGranted) {
    openSettings();
    model_->openAccessibilitySettings(true);
  }
  if (contains(arguments, "--demo")) {
    model_->showDemo(false);
  }
  layoutPass();
  panel_->bringToFront();
  synchronisePointer();
}

void AppDelegate::createStatusItem() {
  menu_ = std::make_unique<QMenu>();
  menu_->setObjectName("status-menu");
  menu_->addAction("展开刘海", this, [this] { expand(); });
  menu_->addAction("接入设置…", this, [this] { openSettings(); });
  menu_->addAction("演示普通审批（不执行命令）", this, [this] { demo(false); });
  menu_->addAction("演示原生删除确认（不执行删除）", this, [this] { demo(true); });
  menu_->addSeparator();
  menu_->addAction("打开 WorkBuddy", this, [this] { openBuddy(); });
  menu_->addSeparator();
  menu_->addAction("退出 Vantrel Dozer", this, [this] { quit(); });

  statusItem_ = std::make_unique<QSystemTrayIcon>(statusIcon());
  statusItem_->setContextMenu(menu_.get());
  statusItem_->setToolTip(idleToolTip());
  // Shown even without a tray host: Qt shows it as soon as one appears.
  statusItem_->show();
}

void AppDelegate::createPanel() {
  panel_ = new NotchPanel();
  view_ = new NotchView(*model_, environment_.clock, environment_.preferences, NotchViewOptions{});
  viewport_ = new NotchViewport(view_, [this](int width) { return view_->fittingHeight(width); });
  panel_->setViewport(viewport_);
  connect(view_, &NotchView::menuRequested, this, [this](QPoint position) { showMenuAt(position); });

  revealAnimator_ = std::make_unique<VerticalRevealAnimator>(panel_, viewport_);
  QPointer<AppDelegate> weak(this);
  revealAnimator_->frameDidChange = [weak](const ScreenRect&) {
    if (weak) {
      weak->synchronisePointer();
    }
  };
}

void AppDelegate::scheduleLayout() {
  if (layoutScheduled_) {
    return;
  }
  layoutScheduled_ = true;
  QTimer::singleShot(0, this, [this] {
    layoutScheduled_ = false;
    layoutPass();
  });
}

void AppDelegate::layoutPass() {
  if (panel_ == nullptr) {
    return;
  }
  const auto geometry = NotchGeometry::forScreens(environment_.screens.screens());
  if (!geometry) {
    return;
  }
  const AppState& state = model_->state();
  const bool expanded = state.interaction.expanded();
  if (!expanded && panel_->isActiveWindow()) {
    panel_->resignKey();
  }
  if (geometry->notchHeight != renderedNotchHeight_ || state.panelWidth != geometry->panelWidth ||
      state.compactWidth != geometry->compactWidth) {
    const bool widthsChanged = state.panelWidth != geometry->panelWidth || state.compactWidth != geometry->compactWidth;
    renderedNotchHeight_ = geometry->notchHeight;
    model_->setNotchGeometry(geometry->notchHeight, geometry->panelWidth, geometry->compactWidth);
    if (widthsChanged) {
      return; // the model's change schedules the next pass, after the view took the new widths
    }
  }
  if (expanded && state.expansionPresentation == std::optional<bool>(false)) {
    model_->setExpansionPresentation(true); // the view switches to its expanded content before the panel grows
    return;
  }
  const double fitted = viewport_->fitHeight(geometry->panelWidth);
  const double height = expanded ? fitted : geometry->collapsedHeight();
  if (std::isfinite(height) && height > 0) {
    const bool animated = panel_->isVisible() && !environment_.reduceMotion();
    QPointer<AppDelegate> weak(this);
    revealAnimator_->animate(geometry->panelFrame(height), expanded ? geometry->panelWidth : geometry->compactWidth,
                             animated, [weak, collapsing = !expanded] {
                               if (!weak) {
                                 return;
                               }
                               const AppState& now = weak->model_->state();
                               if (collapsing && !now.interaction.expanded() &&
                                   now.expansionPresentation == std::optional<bool>(true)) {
                                 // Only a finished close swaps the card for the compact badge.
                                 weak->model_->setExpansionPresentation(false);
                               }
                               weak->synchronisePointer();
                             });
  }
  updateToolTip();
}

void AppDelegate::synchronisePointer() {
  if (panel_ == nullptr || viewport_ == nullptr) {
    return;
  }
  const bool believedInside = model_->state().interaction.pointerInside();
  if (!panel_->isVisible()) {
    if (believedInside) {
      model_->setPointerInside(false);
    }
    return;
  }
  // Outside the silhouette the panel's window has no shape, so clicks there
  // already reach whatever is below; only the model needs telling.
  const bool inside = surfaceContains(QCursor::pos(), panel_->geometry(), viewport_->surfaceWidth());
  if (inside != believedInside) {
    if (inside) {
      panel_->keepKeyboardOwner();
    }
    model_->setPointerInside(inside);
  }
}

std::size_t AppDelegate::waitingRealRequests() const {
  return model_->state().isDemo ? 0 : model_->state().interaction.requests().size();
}

void AppDelegate::updateToolTip() {
  const std::size_t waiting = model_->state().interaction.requests().size();
  const QString tip = waiting == 0 ? idleToolTip() : QString("%1 条请求等待确认").arg(waiting);
  if (statusItem_->toolTip() != tip) {
    statusItem_->setToolTip(tip);
  }
}

void AppDelegate::showMenuAt(const QPoint& position) { menu_->popup(position); }

bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
      panel_ != nullptr && panel_->isActiveWindow() && watched->isWidgetType() &&
      static_cast<QWidget*>(watched)->window() == panel_) {
    model_->collapse();
    panel_->resignKey();
    return true;
  }
  switch (event->type()) {
  case QEvent::MouseMove:
  case QEvent::Enter:
  case QEvent::Leave:
  case QEvent::MouseButtonPress:
    synchronisePointer();
    break;
  default:
    return false;
  }
  if (isMouseDown(event) && watched->isWidgetType()) {
    QWidget* window = static_cast<QWidget*>(watched)->window();
    if (window == panel_) {
      panel_->activateWindow(); // a click into the notch takes the keyboard, for Escape
    } else {
      model_->collapseIfIdle();
    }
  }
  return false;
}

bool AppDelegate::shouldTerminate() {
  if (!explicitQuit_ && waitingRealRequests() > 0) {
    model_->expand();
    return false;
  }
  return true;
}

void AppDelegate::willTerminate() {
  model_->stopCompletionReminders();
  model_->stopServices();
  if (revealAnimator_) {
    revealAnimator_->stop();
  }
  displayObserver_ = {};
  outsideClicks_.reset();
  if (launched_) {
    qApp->removeEventFilter(this);
    launched_ = false;
  }
}

void AppDelegate::expand() {
  model_->expand();
  if (panel_ != nullptr) {
    panel_->bringToFront();
  }
}

void AppDelegate::demo(bool native) {
  model_->showDemo(native);
  if (panel_ != nullptr) {
    panel_->bringToFront();
  }
}

void AppDelegate::openBuddy() { model_->openWorkBuddy(); }

void AppDelegate::openSettings() {
  if (settingsWindow_ == nullptr) {
    settingsWindow_ = environment_.makeSettingsWindow ? environment_.makeSettingsWindow() : new QWidget;
    settingsWindow_->setParent(nullptr, Qt::Window);
    settingsWindow_->setObjectName("settings-window");
    settingsWindow_->setWindowTitle(settingsTitle);
    const QRect available = QGuiApplication::primaryScreen() != nullptr
                                ? QGuiApplication::primaryScreen()->availableGeometry()
                                : QRect(0, 0, 1280, 720);
    settingsWindow_->resize(600, std::min(available.height() - 80, 680));
    settingsWindow_->move(available.center() - settingsWindow_->rect().center());
  }
  model_->refreshConfiguredProfiles();
  settingsWindow_->show();
  settingsWindow_->raise();
  settingsWindow_->activateWindow();
}

void AppDelegate::quit() {
  if (confirmingQuit_) {
    return;
  }
  if (const std::size_t waiting = waitingRealRequests(); waiting > 0) {
    confirmingQuit_ = true;
    const bool panelWasVisible = panel_ != nullptr && panel_->isVisible();
    if (panel_ != nullptr) {
      panel_->hide();
    }
    synchronisePointer();
    const bool handBack = environment_.confirmQuit(waiting);
    confirmingQuit_ = false;
    if (!handBack) {
      model_->expand();
      if (panelWasVisible && !explicitQuit_ && panel_ != nullptr) {
        panel_->bringToFront();
        synchronisePointer();
      }
      return;
    }
  }
  explicitQuit_ = true;
  QCoreApplication::quit();
}

} // namespace notch
