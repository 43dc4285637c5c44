#pragma once

#include <optional>
#include <string>

#include "platform/foundation/bytes.h"
#include "platform/network_extension/vpn_manager.h"

namespace platform::detail {

// The device's VPN preferences file, JSON:
//
//   {
//     "format": 1,
//     "tunnel": 1..5,                  the NEVPNStatus of the device's tunnel (never invalid)
//     "configuration": {               absent: nothing saved
//       "localizedDescription": text,  absent: none
//       "enabled": Boolean,
//       "onDemandEnabled": Boolean,
//       "protocol": {                  absent: none
//         "type": "IPSec" | "IKEv2",
//         "serverAddress", "username", "localIdentifier", "remoteIdentifier": text, absent: none
//         "passwordReference", "sharedSecretReference": Base64 text, absent: none
//         "disconnectOnSleep", "useExtendedAuthentication": Boolean
//         "authenticationMethod": integer
//         "ikeSecurityAssociationParameters", "childSecurityAssociationParameters": IKEv2 only,
//             {"diffieHellmanGroup": integer, "encryptionAlgorithm": integer, "integrityAlgorithm": integer}
//       }
//     }
//   }
//
// Members not listed are ignored; a listed member of the wrong kind makes the file damaged.
struct VPNPreferences {
  std::optional<NEVPNSavedConfiguration> configuration;
  NEVPNStatus tunnelStatus = NEVPNStatus::disconnected;
};

// None, with `error` saying why, when the protocol object is of a kind the file cannot hold.
std::optional<std::string> encodeVPNPreferences(const VPNPreferences& preferences, std::string* error);

// None, with `error` saying why, when the bytes are not a file of this format.
std::optional<VPNPreferences> decodeVPNPreferences(const Bytes& bytes, std::string* error);

}  // namespace platform::detail
