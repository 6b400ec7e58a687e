#pragma once

// Reads AT-SPI objects of one application over one connection: a level of
// nodes with every call of every node in flight together, and whole
// subtrees level by level under a node budget. What it reads is exactly
// what the accessibility elements answer (AtSpiRoleTable). Used on the
// thread that owns the connection.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/AtSpiNode.h"
#include "platform/linux/DBusLink.h"

namespace notch {

class AtSpiNodeReader {
public:
  AtSpiNodeReader(DBusLink& link, std::string bus, int timeoutMs)
      : link_(link), bus_(std::move(bus)), timeoutMs_(timeoutMs) {}

  // A path and the path of its parent, recorded as given.
  using Placed = std::pair<std::string, std::string>;

  // One node per path, in order; nullopt for a node that did not answer
  // (gone, or late).
  std::vector<std::optional<AtSpiNode>> readLevel(const std::vector<Placed>& nodes);

  // Every node below and including `roots`, breadth first. False when a
  // node did not answer, the tree has a cycle, or more than `nodeBudget`
  // nodes were read. With `unanswered`, a node that did not answer is
  // listed there and the read goes on without it; otherwise it stops.
  bool readSubtrees(const std::vector<Placed>& roots, AtSpiTree& into, int nodeBudget,
                    std::vector<std::string>* unanswered = nullptr);

  // The object's parent path on this connection, or nullopt.
  std::optional<std::string> parentOf(const std::string& path);

  // Screen extents of several objects at once.
  std::vector<std::optional<AtSpiExtents>> extentsOf(const std::vector<std::string>& paths);

  std::optional<std::vector<std::string>> actionNames(const std::string& path);
  bool doAction(const std::string& path, int index);

private:
  DBusLink& link_;
  const std::string bus_;
  const int timeoutMs_;
};

} // namespace notch
