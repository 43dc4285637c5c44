#include "platform/foundation/json.h"

namespace platform {

namespace {

// Deeper input is refused before parsing: later walks and dumps of a value recurse.
constexpr int kMaxNesting = 512;

bool nestsTooDeep(std::string_view bytes) {
  int depth = 0;
  bool inString = false;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (inString) {
      if (c == '\\') ++i;
      else if (c == '"') inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxNesting) return true;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return false;
}

}  // namespace

JSONReadResult JSONObjectWithData(std::string_view bytes) {
  auto fail = [](std::string detail) {
    return JSONReadResult{std::nullopt, Error{"NSCocoaErrorDomain", 3840,
                                              "The data couldn't be read because it isn't in the correct format. (" +
                                                  detail + ")"}};
  };
  if (bytes.empty()) return fail("no input");
  if (nestsTooDeep(bytes)) return fail("nested too deeply");
  // nlohmann takes a NUL for the end of input; JSON text never holds a raw one, so every byte counts
  if (bytes.find('\0') != std::string_view::npos) return fail("NUL byte in the input");
  try {
    return JSONReadResult{nlohmann::json::parse(bytes.begin(), bytes.end()), std::nullopt};
  } catch (const nlohmann::json::parse_error& e) {
    // in our words: the reader's own text names its internals and quotes the input raw
    if (e.byte > bytes.size()) return fail("it ends too early");
    return fail("unexpected text at byte " + std::to_string(e.byte));
  } catch (const nlohmann::json::exception&) {
    return fail("it is not JSON");
  }
}

std::string JSONDataWithObject(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace platform
