// Raw button presses from the X server's input extension (XInput 2), which
// reports every press on the desktop to whoever selects them on the root
// window, on Qt's own connection: Qt reads the events, a native event
// filter picks these out.

#include "ui/OutsideClicks.h"

#include <QAbstractEventDispatcher>
#include <QAbstractNativeEventFilter>
#include <QGuiApplication>

#include <xcb/xcb.h>
#include <xcb/xinput.h>

namespace notch {
namespace {

constexpr std::uint32_t leftButton = 1;
constexpr std::uint32_t rightButton = 3;

} // namespace

struct OutsideClicks::Impl final : QAbstractNativeEventFilter {
  std::function<void()> onPress;
  std::uint8_t inputOpcode = 0;
  bool selected = false;

  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (type != "xcb_generic_event_t") {
      return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_GE_GENERIC) {
      return false;
    }
    const auto* generic = static_cast<const xcb_ge_generic_event_t*>(message);
    if (generic->extension != inputOpcode || generic->event_type != XCB_INPUT_RAW_BUTTON_PRESS) {
      return false;
    }
    const auto* press = static_cast<const xcb_input_raw_button_press_event_t*>(message);
    if (press->detail == leftButton || press->detail == rightButton) {
      onPress();
    }
    return false; // Qt may want it too
  }

  void select() {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    if (connection == nullptr) {
      return;
    }
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &xcb_input_id);
    if (extension == nullptr || extension->present == 0) {
      return;
    }
    inputOpcode = extension->major_opcode;
    struct {
      xcb_input_event_mask_t head;
      std::uint32_t mask;
    } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS};
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_input_xi_select_events(connection, root, 1, &selection.head);
    xcb_flush(connection);
    selected = true;
  }
};

OutsideClicks::OutsideClicks(std::function<void()> onPress) : impl_(std::make_unique<Impl>()) {
  impl_->onPress = std::move(onPress);
  impl_->select();
  if (impl_->selected) {
    QAbstractEventDispatcher::instance()->installNativeEventFilter(impl_.get());
  }
}

OutsideClicks::~OutsideClicks() {
  if (impl_->selected) {
    if (auto* dispatcher = QAbstractEventDispatcher::instance()) {
      dispatcher->removeNativeEventFilter(impl_.get());
    }
  }
}

bool OutsideClicks::watching() const { return impl_->selected; }

} // namespace notch
