#pragma once

// A local copy of the accessibility trees of the applications the native
// monitor asks about, kept current from AT-SPI events, so that the
// monitor's frequent polls read memory instead of making thousands of
// calls into the watched application over the bus.
//
// A worker thread connects to the accessibility bus, finds applications by
// pid, reads each watched tree once in the background, then re-reads only
// what events name: a node whose state or name changed, and for a node it
// has not seen (Qt announces new widgets only through their state) the
// children of its nearest known ancestor. A slow periodic resync of the trees
// that changed repairs whatever an event missed; a resized window (whose
// contents move without a word) is read again at once. An event thread only
// receives signals.
//
// Callers on any thread read the copy under a short lock; the live calls
// (windows' extents per poll, the re-read before a press, actions) go over
// a connection of their own, each call bounded by its time-out, so a hung
// bus or application costs a caller at most those time-outs and never
// blocks the copy.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/AtSpiNode.h"

namespace notch {

// Production values; tests shrink them.
struct AtSpiMirrorLimits {
  int connectTimeoutMs = 1'000;
  int workerCallTimeoutMs = 500;
  double firstAnswerWait = 1.0;  // how long the first trust check waits for the bus
  double trustRefresh = 5.0;     // a trust answer older than this is asked again
  double eventDebounce = 0.015;  // events gathered before their re-read
  double resyncInterval = 120.0; // full re-read of every watched tree that changed
  double resizeSettle = 0.5;     // a resized window is read again this long after
  double reconnectDelay = 2.0;
  int nodeBudget = 20'000; // a tree larger than this is not copied
};

class AtSpiMirror {
public:
  using Limits = AtSpiMirrorLimits;

  explicit AtSpiMirror(Limits limits = {});
  ~AtSpiMirror();
  AtSpiMirror(const AtSpiMirror&) = delete;
  AtSpiMirror& operator=(const AtSpiMirror&) = delete;

  // The accessibility bus answers and assistive technologies are on.
  bool trusted();
  // Switches assistive technologies on for the session.
  void requestTrust();

  // The connection of the application with this pid, and from now on its
  // tree is copied; nullopt while it is not known yet (it is looked for).
  std::optional<std::string> applicationBus(std::int32_t pid);
  std::optional<std::int32_t> pidOf(const std::string& bus);

  // Calls `read` with the copied node, under the copy's lock (so `read`
  // must not call back into the mirror); false when the tree is not copied
  // yet or has no such node.
  bool read(const std::string& bus, const std::string& path,
            const std::function<void(const AtSpiNode& node)>& read) const;

  // Re-reads the top-level windows' screen positions and moves the copy of
  // a window that moved.
  void refreshWindows(const std::string& bus, int timeoutMs);
  // Re-reads these nodes and everything below them now, over the bus,
  // into the copy; false when any did not answer (the worker then repairs
  // the copy).
  bool refreshLive(const std::string& bus, const std::vector<std::string>& paths, int timeoutMs);
  std::optional<std::vector<std::string>> actionNames(const std::string& bus, const std::string& path, int timeoutMs);
  bool doAction(const std::string& bus, const std::string& path, int index, int timeoutMs);

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

} // namespace notch
