#pragma once

#include <span>
#include <string>
#include <string_view>

namespace LKSCommon {

struct DeviceModel {
  std::string_view identifier;  // "iPhone14,2"
  std::string_view name;        // "iPhone 13 Pro"
};

// Every known machine identifier with its marketing name, in the order of the model table.
std::span<const DeviceModel> deviceModelTable();

// The marketing name of the device the process runs on, worked out on the first read in each
// process and fixed from then on.
std::string deviceModelName();

// The table's name for the identifier (exact, case-sensitive match); on the simulator's machine
// identifiers, "Simulator " and the name of the simulated model; otherwise the identifier itself.
std::string modelNameForIdentifier(const std::string& identifier);

// The system identification's machine field as text: its zero bytes skipped, every other byte the
// character with that code.
std::string machineIdentifier();

}  // namespace LKSCommon
