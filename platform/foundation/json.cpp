#include "platform/foundation/json.h"

namespace platform {

JSONReadResult JSONObjectWithData(std::string_view bytes) {
  auto fail = [](std::string detail) {
    return JSONReadResult{std::nullopt, Error{"NSCocoaErrorDomain", 3840,
                                              "The data couldn't be read because it isn't in the correct format. (" +
                                                  detail + ")"}};
  };
  if (bytes.empty()) return fail("no input");
  try {
    return JSONReadResult{nlohmann::json::parse(bytes.begin(), bytes.end()), std::nullopt};
  } catch (const nlohmann::json::exception& e) {
    return fail(e.what());
  }
}

std::string JSONDataWithObject(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace platform
