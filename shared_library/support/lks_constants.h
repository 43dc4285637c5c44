#pragma once

// Process-wide constants of the shared library.
namespace LKSConstants {

// Posted once by the splash screen when loading has ended.
inline constexpr const char progressCompleted[] = "PROGRESS_COMPLETED";

// Whether the device's user-interface idiom is pad; asked once per process, on the first read.
bool isIPad();

}  // namespace LKSConstants
