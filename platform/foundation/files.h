#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/bytes.h"

namespace platform {

struct ReadLimits {
  bool followSymbolicLink = true;
  std::optional<std::uintmax_t> maximumBytes;  // a larger file is damage
};

// Why a read gave nothing. `unreadable`: the file is there but the system refuses it (permission,
// an I/O error); the file itself may be fine. `damaged`: what is there is no file to use (a
// symbolic link when not followed, a directory or another non-regular file, or too large).
enum class ReadFault { missing, unreadable, damaged };

// The whole regular file, or none when it is missing, cannot be read or is not within the limits;
// then `why` (when given) says which, and `fault` (when given) what kind of failure it was.
std::optional<Bytes> readFile(const std::filesystem::path& path, const ReadLimits& limits = {},
                              std::string* why = nullptr, ReadFault* fault = nullptr);

// The one line for a device file that is there but cannot be read:
// "cannot read <path>: <reason>".
std::string unreadableLine(const std::filesystem::path& path, const std::string& reason);

// A complete new file replaces the old one (temporary file beside it, then rename, then the folder
// flushed), so a reader never sees half a file, a failed write leaves the old one whole and a power
// cut cannot bring the old one back. On failure, false and
// `error` (when given) says why.
bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, std::string* error = nullptr);
inline bool writeFileAtomically(const std::filesystem::path& path, const Bytes& bytes, std::string* error = nullptr) {
  return writeFileAtomically(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), error);
}

// Renames a damaged or unusable file (or whatever stands in its place) to the first free name of
// "PATH.damaged", "PATH.damaged-2", ... so nothing is lost when a fresh one takes its place. The new
// name, or none with `why` (when given) saying why it could not be moved.
std::optional<std::filesystem::path> keepAside(const std::filesystem::path& path, std::string* why = nullptr);

// The one console line for a damaged file that was kept aside:
// "<facility>: <path> is damaged (<reason>); kept it as <aside> and <then>".
std::string keptAsideLine(const std::string& facility, const std::filesystem::path& path, const std::string& reason,
                          const std::filesystem::path& aside, const std::string& then);

// Keeps a damaged file aside and says so in that one line; when it cannot be moved, the line says
// why instead. `then` is what the caller goes on with ("started empty"). The new name, or none.
std::optional<std::filesystem::path> keepDamagedAside(const std::string& facility, const std::filesystem::path& path,
                                                      const std::string& reason, const std::string& then);

// Whether `name` is the temporary file of an atomic write (".NAME.tmp.PID.N"); then the pid of the
// process that wrote it.
std::optional<long> atomicWriteTemporaryOwner(const std::string& name);

// The application's private temporary directory on the current device (mode 0700).
std::filesystem::path temporaryDirectory();

}  // namespace platform
