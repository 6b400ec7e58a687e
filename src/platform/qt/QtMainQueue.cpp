#include "platform/qt/QtMainQueue.h"

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <exception>
#include <future>

namespace notch {
namespace {

using Flag = std::shared_ptr<std::atomic<bool>>;

int milliseconds(double seconds) {
  return static_cast<int>(std::clamp(std::ceil(seconds * 1000.0), 0.0, 2'000'000'000.0));
}

// Sub-second work (the 0.2 s tick, short debounces) needs the precise
// timer; Qt's coarse one may be 5 % late.
Qt::TimerType timerTypeFor(double seconds) { return seconds < 1.0 ? Qt::PreciseTimer : Qt::CoarseTimer; }

} // namespace

struct QtMainQueue::Impl {
  QObject context; // lives on the creating thread; deleting it drops what is still queued

  void onLoop(std::function<void()> task) {
    QMetaObject::invokeMethod(&context, std::move(task), Qt::QueuedConnection);
  }
};

QtMainQueue::QtMainQueue() : impl_(std::make_unique<Impl>()) {}
QtMainQueue::~QtMainQueue() = default;

void QtMainQueue::post(std::function<void()> task) { impl_->onLoop(std::move(task)); }

TaskHandle QtMainQueue::postAfter(double seconds, std::function<void()> task) {
  auto cancelled = std::make_shared<std::atomic<bool>>(false);
  impl_->onLoop([this, seconds, cancelled, task = std::move(task)]() mutable {
    if (cancelled->load()) {
      return;
    }
    auto* timer = new QTimer(&impl_->context);
    timer->setSingleShot(true);
    timer->setTimerType(timerTypeFor(seconds));
    QObject::connect(timer, &QTimer::timeout, timer, [timer, cancelled, task = std::move(task)] {
      timer->deleteLater();
      if (!cancelled->load()) {
        task();
      }
    });
    timer->start(milliseconds(seconds));
  });
  return TaskHandle(cancelled);
}

TaskHandle QtMainQueue::repeat(double interval, double, double firstFire, std::function<void()> task) {
  auto cancelled = std::make_shared<std::atomic<bool>>(false);
  const int period = std::max(1, milliseconds(interval));
  impl_->onLoop([this, period, interval, firstFire, cancelled, task = std::move(task)]() mutable {
    if (cancelled->load()) {
      return;
    }
    // A QTimer never queues missed fires: a busy loop coalesces them.
    auto* timer = new QTimer(&impl_->context);
    timer->setTimerType(timerTypeFor(interval));
    auto fire = [timer, period, cancelled, task = std::move(task)] {
      if (cancelled->load()) {
        timer->stop();
        timer->deleteLater();
        return;
      }
      if (timer->interval() != period) {
        timer->setInterval(period); // after the first fire
      }
      task();
    };
    QObject::connect(timer, &QTimer::timeout, timer, std::move(fire));
    timer->start(milliseconds(firstFire));
  });
  return TaskHandle(cancelled);
}

void QtMainQueue::sync(const std::function<void()>& work) {
  if (isCurrent()) {
    work();
    return;
  }
  std::promise<void> done;
  impl_->onLoop([&] {
    try {
      work();
      done.set_value();
    } catch (...) {
      done.set_exception(std::current_exception());
    }
  });
  done.get_future().get();
}

bool QtMainQueue::isCurrent() const { return QThread::currentThread() == impl_->context.thread(); }

} // namespace notch
