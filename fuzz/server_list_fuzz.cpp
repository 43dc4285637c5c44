// The server list: a payload as deciphered, and the "servers" member as the service sends it.
#include "fuzz/fuzz_support.h"
#include "vpn_core/server_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto& sandbox = fuzzing::sandbox();
  static int runs = 0;
  if (++runs % 256 == 0) sandbox.relaunch();  // the lists only grow within a process
  const std::string input = fuzzing::text(data, size);
  VPNServerManager::shared()->parseServers(input);
  VPNServerManager::shared()->decryptServerReply(nlohmann::json{{"servers", input}}, std::nullopt);
  for (const auto& server : VPNServerManager::shared()->premiumVPNServersArray()) fuzzing::require(server->isPremium());
  return 0;
}
