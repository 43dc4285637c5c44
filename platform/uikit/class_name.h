#pragma once

#include <string>
#include <typeinfo>

namespace platform {

// The class's own name, without namespaces ("UILabel", "HomePageViewController").
std::string classNameOf(const std::type_info& type);

template <class T>
std::string classNameOf(const T& object) {
  return classNameOf(typeid(object));
}

}  // namespace platform
