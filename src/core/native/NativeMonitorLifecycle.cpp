#include "core/native/NativeMonitorLifecycle.h"

namespace notch {

const Uuid& NativeMonitorLifecycle::start() {
  epoch_ = Uuid::random();
  running_ = true;
  return epoch_;
}

const Uuid& NativeMonitorLifecycle::stop() {
  running_ = false;
  epoch_ = Uuid::random();
  return epoch_;
}

} // namespace notch
