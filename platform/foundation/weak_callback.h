#pragma once

#include <memory>
#include <utility>

namespace platform {

// A callback that holds its owner weakly and calls `body(owner, arguments...)` only while the
// owner is still alive; once the owner is gone it does nothing. For completions, timers and
// observers that must not keep their owner alive.
template <class T, class Body>
auto whileAlive(std::weak_ptr<T> owner, Body body) {
  return [owner = std::move(owner), body = std::move(body)](auto&&... arguments) mutable {
    if (auto self = owner.lock()) body(*self, std::forward<decltype(arguments)>(arguments)...);
  };
}

}  // namespace platform
