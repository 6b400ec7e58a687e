#include "platform/linux/AtSpiRoleTable.h"

#include <algorithm>
#include <array>
#include <utility>

namespace notch::atspi {
namespace {

// AT-SPI role number → role name. Containers of every kind read as groups:
// toolkits differ in which container role they give a plain box (Qt says
// filler for a bare widget and frame for every QFrame), and the classifiers
// only ask whether a node groups others.
//
// The attributes, for every role:
//   AXRole          this table (a window when directly below the application)
//   AXTitle         the accessible name, except for text-showing roles
//   AXValue         the accessible name of text-showing roles
//   AXDescription   the accessible description
//   AXEnabled       the enabled state
//   AXHidden        neither visible nor showing (showing alone stays true
//                   far off screen; the frame decides that)
//   AXMinimized     the iconified state
//   AXChildren      the children, in order
//   AXPosition/Size the extents on the screen
//   AXWindows       (application) its children
//   AXMainWindow,
//   AXFocusedWindow (application) the child window in the active state
//   AXManualAccessibility  accepted and ignored: AT-SPI has no such switch
//   "AXPress"       the action named Press, press, click or activate
constexpr std::array<std::pair<std::uint32_t, std::string_view>, 40> kRoles{{
    {2, "AXGroup"},              // alert
    {7, "AXCheckBox"},           // check box
    {11, "AXComboBox"},          // combo box
    {16, "AXWindow"},            // dialog
    {20, "AXGroup"},             // filler
    {23, "AXGroup"},             // frame (nested; a top-level one is a window)
    {25, "AXGroup"},             // html container
    {26, "AXImage"},             // icon
    {27, "AXImage"},             // image
    {28, "AXGroup"},             // internal frame
    {29, "AXStaticText"},        // label
    {30, "AXGroup"},             // layered pane
    {31, "AXList"},              // list
    {32, "AXCell"},              // list item
    {37, "AXGroup"},             // page tab
    {38, "AXTabGroup"},          // page tab list
    {39, "AXGroup"},             // panel
    {42, "AXProgressIndicator"}, // progress bar
    {43, "AXButton"},            // push button
    {44, "AXRadioButton"},       // radio button
    {46, "AXGroup"},             // root pane
    {48, "AXScrollBar"},         // scroll bar
    {49, "AXScrollArea"},        // scroll pane
    {51, "AXSlider"},            // slider
    {53, "AXSplitGroup"},        // split pane
    {54, "AXGroup"},             // status bar
    {61, "AXTextArea"},          // text
    {62, "AXCheckBox"},          // toggle button
    {63, "AXToolbar"},           // tool bar
    {68, "AXGroup"},             // viewport
    {69, "AXWindow"},            // window
    {73, "AXStaticText"},        // paragraph
    {75, "AXApplication"},       // application
    {79, "AXTextField"},         // entry
    {81, "AXStaticText"},        // caption
    {83, "AXStaticText"},        // heading
    {85, "AXGroup"},             // section
    {88, "AXLink"},              // link
    {99, "AXGroup"},             // grouping
    {116, "AXStaticText"},       // static
}};

} // namespace

std::string_view roleName(std::uint32_t role, bool isTopLevel) {
  if (isTopLevel) {
    return "AXWindow";
  }
  const auto found = std::find_if(kRoles.begin(), kRoles.end(), [&](const auto& row) { return row.first == role; });
  return found != kRoles.end() ? found->second : "AXUnknown";
}

bool showsText(std::uint32_t role) { return roleName(role, false) == "AXStaticText"; }

bool isPressAction(std::string_view actionName) {
  return actionName == "Press" || actionName == "press" || actionName == "click" || actionName == "activate";
}

} // namespace notch::atspi
