#pragma once

// Makes a top-level window announce itself as WorkBuddy does on an X11
// desktop: WM_CLASS "workbuddy" / "com.tencent.workbuddy.mac" and
// _GTK_APPLICATION_ID "com.tencent.workbuddy.mac". Qt writes WM_CLASS from
// the application name with its first letter capitalised, so the
// properties are written here, on the native window, before it is mapped
// (window managers read them when they manage a window). GUI thread only.

#include <QWidget>

#include <string>

namespace notch::standin {

inline constexpr char kApplicationID[] = "com.tencent.workbuddy.mac";

// Creates `window`'s native window if needed; false when not on X11.
// `applicationID` replaces WorkBuddy's (a test's "some other application").
bool announceIdentity(QWidget& window, const std::string& applicationID = kApplicationID);

} // namespace notch::standin
