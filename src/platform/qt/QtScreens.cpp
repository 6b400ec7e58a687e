#include "platform/qt/QtScreens.h"

#include <QGuiApplication>
#include <QObject>
#include <QScreen>

namespace notch {

struct QtScreens::Impl {
  QObject context;
  ObserverList<> changes;

  void watch(QScreen* screen) {
    QObject::connect(screen, &QScreen::geometryChanged, &context, [this] { changes.notify(); });
  }
};

QtScreens::QtScreens() : impl_(std::make_unique<Impl>()) {
  auto* application = qGuiApp;
  for (QScreen* screen : QGuiApplication::screens()) {
    impl_->watch(screen);
  }
  QObject::connect(application, &QGuiApplication::screenAdded, &impl_->context, [this](QScreen* screen) {
    impl_->watch(screen);
    impl_->changes.notify();
  });
  QObject::connect(application, &QGuiApplication::screenRemoved, &impl_->context,
                   [this](QScreen*) { impl_->changes.notify(); });
  QObject::connect(application, &QGuiApplication::primaryScreenChanged, &impl_->context,
                   [this](QScreen*) { impl_->changes.notify(); });
}

QtScreens::~QtScreens() = default;

std::vector<ScreenInfo> QtScreens::screens() const {
  std::vector<ScreenInfo> result;
  QList<QScreen*> ordered = QGuiApplication::screens();
  if (QScreen* primary = QGuiApplication::primaryScreen(); primary != nullptr && !ordered.empty()) {
    ordered.removeAll(primary);
    ordered.prepend(primary);
  }
  for (const QScreen* screen : ordered) {
    const QRect frame = screen->geometry();
    result.push_back(
        ScreenInfo{ScreenRect{double(frame.x()), double(frame.y()), double(frame.width()), double(frame.height())}, 0,
                   std::nullopt, std::nullopt});
  }
  return result;
}

Subscription QtScreens::observe(std::function<void()> onChange) { return impl_->changes.add(std::move(onChange)); }

} // namespace notch
