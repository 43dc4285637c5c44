#pragma once

#include <memory>
#include <string>

#include "platform/foundation/console.h"

// The outlet's view; an outlet the storyboard left unconnected is a programming error.
template <class T>
std::shared_ptr<T> connected(const std::weak_ptr<T>& outlet, const char* name) {
  auto view = outlet.lock();
  if (!view) platform::fatalError(std::string("the outlet ") + name + " is not connected");
  return view;
}
