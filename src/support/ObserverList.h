#pragma once

// A list of callbacks that outlive nothing: adding one gives back a
// Subscription, and destroying the subscription removes the callback.
// Notifying calls every callback still subscribed, in the order they were
// added; a callback may subscribe or unsubscribe others (or itself) while
// it runs. Not thread-safe: one thread adds and notifies.

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace notch {

// Keeps one callback subscribed while it lives. An empty subscription
// (default-constructed or moved from) keeps nothing.
class Subscription {
public:
  Subscription() = default;
  explicit Subscription(std::shared_ptr<void> token) : token_(std::move(token)) {}

  void reset() { token_.reset(); }
  bool empty() const { return token_ == nullptr; }

private:
  std::shared_ptr<void> token_;
};

template <typename... Args> class ObserverList {
public:
  using Callback = std::function<void(Args...)>;

  [[nodiscard]] Subscription add(Callback callback) {
    auto owned = std::make_shared<Callback>(std::move(callback));
    callbacks_.push_back(owned);
    return Subscription(std::move(owned));
  }

  void notify(Args... args) {
    // A copy, so that callbacks may change the list while it is walked.
    std::vector<std::weak_ptr<Callback>> current = callbacks_;
    for (const auto& weak : current) {
      if (const auto callback = weak.lock()) {
        (*callback)(args...);
      }
    }
    std::erase_if(callbacks_, [](const auto& weak) { return weak.expired(); });
  }

  bool empty() const {
    return std::none_of(callbacks_.begin(), callbacks_.end(), [](const auto& weak) { return !weak.expired(); });
  }

private:
  std::vector<std::weak_ptr<Callback>> callbacks_;
};

} // namespace notch
