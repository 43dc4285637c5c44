// The VPN preferences file: what it decodes, it encodes to a file it decodes again.
#include "fuzz/fuzz_support.h"
#include "platform/foundation/bytes.h"
#include "platform/network_extension/vpn_preferences.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string why;
  const auto decoded = platform::detail::decodeVPNPreferences(platform::Bytes(data, data + size), &why);
  if (!decoded) return 0;
  const auto encoded = platform::detail::encodeVPNPreferences(*decoded, &why);
  fuzzing::require(encoded.has_value());
  fuzzing::require(platform::detail::decodeVPNPreferences(platform::toBytes(*encoded), &why).has_value());
  return 0;
}
