#include "platform/foundation/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/foundation/console.h"
#include "platform/foundation/device.h"
#include "platform/foundation/process.h"

namespace platform {

std::optional<Bytes> readFile(const std::filesystem::path& path, const ReadLimits& limits, std::string* why,
                              ReadFault* fault) {
  auto fail = [&](ReadFault kind, std::string reason, int fd) -> std::optional<Bytes> {
    if (fd >= 0) ::close(fd);
    if (why) *why = std::move(reason);
    if (fault) *fault = kind;
    return std::nullopt;
  };
  auto tooLarge = [&] { return "it is larger than " + std::to_string(*limits.maximumBytes) + " bytes"; };
  // never blocking on open: a FIFO in place of the file must not stall the caller
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (limits.followSymbolicLink ? 0 : O_NOFOLLOW));
  if (fd < 0) {
    const int error = errno;
    if (error == ENOENT) return fail(ReadFault::missing, std::strerror(error), -1);
    if (error == ELOOP && !limits.followSymbolicLink) return fail(ReadFault::damaged, "it is a symbolic link", -1);
    // a socket cannot be opened at all
    if (error == ENXIO || error == EOPNOTSUPP) return fail(ReadFault::damaged, "it is not a regular file", -1);
    return fail(ReadFault::unreadable, std::strerror(error), -1);
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) return fail(ReadFault::unreadable, std::strerror(errno), fd);
  if (!S_ISREG(st.st_mode)) return fail(ReadFault::damaged, "it is not a regular file", fd);
  if (limits.maximumBytes && static_cast<std::uintmax_t>(st.st_size) > *limits.maximumBytes)
    return fail(ReadFault::damaged, tooLarge(), fd);
  Bytes out;
  out.reserve(static_cast<size_t>(st.st_size));
  std::uint8_t buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(ReadFault::unreadable, std::strerror(errno), fd);
    }
    out.insert(out.end(), buf, buf + n);
    // it grew while we read
    if (limits.maximumBytes && out.size() > *limits.maximumBytes) return fail(ReadFault::damaged, tooLarge(), fd);
  }
  ::close(fd);
  return out;
}

std::string unreadableLine(const std::filesystem::path& path, const std::string& reason) {
  return "cannot read " + path.string() + ": " + reason;
}

bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, std::string* error) {
  static std::atomic<unsigned> counter{0};
  auto fail = [&](const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
    return false;
  };
  const auto tmp = path.parent_path() /
                   ("." + path.filename().string() + ".tmp." + std::to_string(::getpid()) + "." +
                    std::to_string(counter.fetch_add(1)));
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return fail("cannot create " + tmp.string());
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      int saved = errno;
      ::close(fd);
      ::unlink(tmp.c_str());
      errno = saved;
      return fail("cannot write " + tmp.string());
    }
    done += static_cast<size_t>(w);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    int saved = errno;
    ::unlink(tmp.c_str());
    errno = saved;
    return fail("cannot flush " + tmp.string());
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    int saved = errno;
    ::unlink(tmp.c_str());
    errno = saved;
    return fail("cannot replace " + path.string());
  }
  // the rename itself lives in the folder: flushed too, or a power cut may undo it. A folder we
  // may not open for reading is left to the system.
  const auto folder = path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path();
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    const bool flushed = ::fsync(dir) == 0;
    const int saved = errno;
    ::close(dir);
    errno = saved;
    if (!flushed) return fail("cannot flush " + folder.string());
  }
  return true;
}

std::optional<long> atomicWriteTemporaryOwner(const std::string& name) {
  // ".NAME.tmp.PID.N"
  if (name.size() < 2 || name[0] != '.') return std::nullopt;
  const auto counterDot = name.rfind('.');
  if (counterDot == std::string::npos || counterDot + 1 == name.size()) return std::nullopt;
  const auto pidDot = name.rfind('.', counterDot - 1);
  if (pidDot == std::string::npos || pidDot + 1 == counterDot) return std::nullopt;
  auto digits = [&](std::size_t from, std::size_t to) {
    for (auto i = from; i < to; ++i)
      if (name[i] < '0' || name[i] > '9') return false;
    return to - from <= 9;
  };
  if (!digits(counterDot + 1, name.size()) || !digits(pidDot + 1, counterDot)) return std::nullopt;
  constexpr std::string_view tag = ".tmp";
  if (pidDot < 1 + 1 + tag.size() || name.compare(pidDot - tag.size(), tag.size(), tag) != 0) return std::nullopt;
  return std::stol(name.substr(pidDot + 1, counterDot - pidDot - 1));
}

std::optional<std::filesystem::path> keepAside(const std::filesystem::path& path, std::string* why) {
  namespace fs = std::filesystem;
  std::error_code ec;
  for (int n = 1; n <= 100; ++n) {
    fs::path target = path;
    target += n == 1 ? std::string(".damaged") : ".damaged-" + std::to_string(n);
    if (fs::exists(fs::symlink_status(target, ec))) continue;
    fs::rename(path, target, ec);
    if (ec) {
      if (why) *why = ec.message();
      return std::nullopt;
    }
    return target;
  }
  if (why) *why = "too many damaged copies";
  return std::nullopt;
}

std::string keptAsideLine(const std::string& facility, const std::filesystem::path& path, const std::string& reason,
                          const std::filesystem::path& aside, const std::string& then) {
  return facility + ": " + path.string() + " is damaged (" + reason + "); kept it as " + aside.string() + " and " + then;
}

std::optional<std::filesystem::path> keepDamagedAside(const std::string& facility, const std::filesystem::path& path,
                                                      const std::string& reason, const std::string& then) {
  std::string why;
  auto aside = keepAside(path, &why);
  if (aside) {
    console(keptAsideLine(facility, path, reason, *aside, then));
  } else {
    console(facility + ": " + path.string() + " is damaged (" + reason + ") and cannot be moved aside (" + why + "); " +
            then);
  }
  return aside;
}

std::filesystem::path temporaryDirectory() { return Process::current().device().temporaryDirectory(); }

}  // namespace platform
