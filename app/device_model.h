#pragma once

#include <string>

namespace OrvaneVPN {

// The application's own marketing name of the device it runs on: worked out once per process,
// apart from the shared library's, and always equal to it.
std::string deviceModelName();
std::string modelNameForIdentifier(const std::string& identifier);

}  // namespace OrvaneVPN
