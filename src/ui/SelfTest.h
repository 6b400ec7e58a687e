#pragma once

// The built-in UI checks of "--ui-self-test": four suites (notch
// interaction, panel mask and click-through, question reminder, turn-end
// reminder) run against synthetic requests, a synthetic world and fake
// activation targets, in virtual time, with the real model, views and
// layout rules. Nothing is shown, sent, activated or written; the checks
// run the same on a machine without a display. Needs a QApplication.

#include <string>
#include <vector>

namespace notch {

// One line per failed check ("<suite>: <check>"); empty when all passed.
std::vector<std::string> runUiSelfTest();

} // namespace notch
