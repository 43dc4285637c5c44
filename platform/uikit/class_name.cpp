#include "platform/uikit/class_name.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>

namespace platform {

std::string classNameOf(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status),
                                                   std::free);
  std::string name = status == 0 && demangled ? demangled.get() : type.name();
  // only the last component: namespaces (named or anonymous) are not part of the class's name
  int depth = 0;
  size_t start = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (c == '<' || c == '(') ++depth;
    if (c == '>' || c == ')') --depth;
    if (depth == 0 && c == ':' && i + 1 < name.size() && name[i + 1] == ':') start = i + 2;
  }
  return name.substr(start);
}

}  // namespace platform
