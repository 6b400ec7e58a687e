#include "platform/linux/AtSpiNodeReader.h"

#include <algorithm>

namespace notch {
namespace {

constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
constexpr const char* kComponent = "org.a11y.atspi.Component";
constexpr const char* kAction = "org.a11y.atspi.Action";
constexpr std::uint32_t kScreenCoordinates = 0;
// Nodes whose calls go out together: enough to hide the round trips,
// few enough that the application answers each batch promptly.
constexpr std::size_t kNodesPerBatch = 48;
enum Call { role, name, description, state, children, extents, callsPerNode };

std::optional<AtSpiExtents> toExtents(const std::optional<std::vector<std::int32_t>>& values) {
  if (!values || values->size() != 4) {
    return std::nullopt;
  }
  return AtSpiExtents{(*values)[0], (*values)[1], (*values)[2], (*values)[3]};
}

} // namespace

std::vector<std::optional<AtSpiNode>> AtSpiNodeReader::readLevel(const std::vector<Placed>& placed) {
  std::vector<std::optional<AtSpiNode>> nodes;
  nodes.reserve(placed.size());
  for (std::size_t first = 0; first < placed.size(); first += kNodesPerBatch) {
    const std::size_t count = std::min(kNodesPerBatch, placed.size() - first);
    std::vector<DBusMessagePtr> calls;
    calls.reserve(count * callsPerNode);
    for (std::size_t i = first; i < first + count; ++i) {
      const std::string& path = placed[i].first;
      calls.push_back(dbusmessage::methodCall(bus_, path, kAccessible, "GetRole"));
      calls.push_back(dbusmessage::propertyGet(bus_, path, kAccessible, "Name"));
      calls.push_back(dbusmessage::propertyGet(bus_, path, kAccessible, "Description"));
      calls.push_back(dbusmessage::methodCall(bus_, path, kAccessible, "GetState"));
      calls.push_back(dbusmessage::methodCall(bus_, path, kAccessible, "GetChildren"));
      calls.push_back(dbusmessage::methodCall(bus_, path, kComponent, "GetExtents"));
      if (calls.back()) {
        dbusmessage::appendUint32(calls.back().get(), kScreenCoordinates);
      }
    }
    const std::vector<DBusMessagePtr> replies = link_.callAll(std::move(calls), timeoutMs_);
    for (std::size_t i = 0; i < count; ++i) {
      const auto reply = [&](Call call) -> const DBusMessagePtr& { return replies[i * callsPerNode + call]; };
      const auto roleValue = dbusmessage::readUint32(reply(role));
      const auto stateValue = dbusmessage::readStates(reply(state));
      const auto childList = dbusmessage::readObjects(reply(children));
      if (!roleValue || !stateValue || !childList) {
        nodes.emplace_back(); // gone or late: the caller decides
        continue;
      }
      AtSpiNode node;
      node.role = *roleValue;
      node.name = dbusmessage::readVariantString(reply(name)).value_or("");
      node.description = dbusmessage::readVariantString(reply(description)).value_or("");
      node.states = *stateValue;
      node.extents = toExtents(dbusmessage::readInt32Struct(reply(extents)));
      node.parent = placed[first + i].second;
      node.topLevel = node.parent == atSpiRootPath;
      for (const AtSpiObject& child : *childList) {
        // A child served by another connection (an embedded plug) is not
        // part of this application's tree.
        if (child.bus == bus_ && child.path != "/org/a11y/atspi/null") {
          node.children.push_back(child.path);
        }
      }
      nodes.emplace_back(std::move(node));
    }
  }
  return nodes;
}

bool AtSpiNodeReader::readSubtrees(const std::vector<Placed>& roots, AtSpiTree& into, int nodeBudget,
                                   std::vector<std::string>* unanswered) {
  std::vector<Placed> level = roots;
  int read = 0;
  bool whole = true;
  while (!level.empty()) {
    read += static_cast<int>(level.size());
    if (read > nodeBudget) {
      return false;
    }
    auto nodes = readLevel(level);
    std::vector<Placed> next;
    for (std::size_t i = 0; i < level.size(); ++i) {
      const std::string& path = level[i].first;
      if (into.contains(path)) {
        return false; // seen twice: a cycle
      }
      if (!nodes[i]) {
        if (unanswered == nullptr) {
          return false;
        }
        unanswered->push_back(path);
        whole = false;
        continue;
      }
      for (const std::string& child : nodes[i]->children) {
        next.emplace_back(child, path);
      }
      into[path] = std::move(*nodes[i]);
    }
    level = std::move(next);
  }
  return whole;
}

std::optional<std::string> AtSpiNodeReader::parentOf(const std::string& path) {
  const auto parent = dbusmessage::readVariantObject(
      link_.call(dbusmessage::propertyGet(bus_, path, kAccessible, "Parent"), timeoutMs_));
  if (!parent || parent->bus != bus_) {
    return std::nullopt;
  }
  return parent->path;
}

std::vector<std::optional<AtSpiExtents>> AtSpiNodeReader::extentsOf(const std::vector<std::string>& paths) {
  std::vector<DBusMessagePtr> calls;
  for (const std::string& path : paths) {
    calls.push_back(dbusmessage::methodCall(bus_, path, kComponent, "GetExtents"));
    if (calls.back()) {
      dbusmessage::appendUint32(calls.back().get(), kScreenCoordinates);
    }
  }
  std::vector<std::optional<AtSpiExtents>> result;
  for (const DBusMessagePtr& reply : link_.callAll(std::move(calls), timeoutMs_)) {
    result.push_back(toExtents(dbusmessage::readInt32Struct(reply)));
  }
  return result;
}

std::optional<std::vector<std::string>> AtSpiNodeReader::actionNames(const std::string& path) {
  return dbusmessage::readActionNames(
      link_.call(dbusmessage::methodCall(bus_, path, kAction, "GetActions"), timeoutMs_));
}

bool AtSpiNodeReader::doAction(const std::string& path, int index) {
  DBusMessagePtr call = dbusmessage::methodCall(bus_, path, kAction, "DoAction");
  if (!call) {
    return false;
  }
  dbusmessage::appendInt32(call.get(), index);
  return dbusmessage::readBool(link_.call(std::move(call), timeoutMs_)).value_or(false);
}

} // namespace notch
