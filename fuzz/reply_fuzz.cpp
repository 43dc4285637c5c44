// The service's reply as it arrives: the body for "sl" or "new", with or without a token.
#include "fuzz/fuzz_support.h"
#include "platform/foundation/bytes.h"
#include "service_client/service_exchange.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::sandbox();
  if (size == 0) return 0;
  const std::string call = (data[0] & 1) ? "new" : "sl";
  const bool tunnelUp = data[0] & 2;
  const std::optional<std::string> token = (data[0] & 4) ? std::optional<std::string>("token") : std::nullopt;
  const platform::Bytes body(data + 1, data + size);
  int completions = 0;
  QVServerConnect::oneInst()->handleReply(call, tunnelUp, body, token, std::nullopt,
                                          [&](auto, auto) { ++completions; });
  fuzzing::require(completions == 1);
  return 0;
}
