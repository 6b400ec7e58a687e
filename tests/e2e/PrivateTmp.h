#pragma once

namespace notch::testing {

// Gives this process, and every child it starts afterwards, a fresh /tmp of
// its own, so that the bridge directory /tmp/vantrel-notch-<uid> used by the
// end-to-end tests can never be a running app's. Root gets a private mount
// namespace; another user gets a user namespace that maps only its own ids
// (so getuid() and every owner check stay the same). Must run while the
// process has a single thread. False where the machine allows neither; the
// tests then share the real /tmp and skip when a live app serves it.
bool enterPrivateTmp();

} // namespace notch::testing
