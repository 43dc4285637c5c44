#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/bytes.h"

namespace platform {

// The values of the IKE and child security associations. The enumerators name the common
// values; any other integer may be held and is saved as it is.
enum class NEVPNIKEv2DiffieHellmanGroup : std::int64_t {
  groupInvalid = 0,
  group1 = 1,
  group2 = 2,
  group5 = 5,
  group14 = 14,
  group15 = 15,
  group16 = 16,
  group17 = 17,
  group18 = 18,
  group19 = 19,
  group20 = 20,
  group21 = 21,
  group31 = 31,
};

enum class NEVPNIKEv2EncryptionAlgorithm : std::int64_t {
  algorithmDES = 1,
  algorithm3DES = 2,
  algorithmAES128 = 3,
  algorithmAES256 = 4,
  algorithmAES128GCM = 5,
  algorithmAES256GCM = 6,
  algorithmChaCha20Poly1305 = 7,
};

enum class NEVPNIKEv2IntegrityAlgorithm : std::int64_t {
  SHA96 = 1,
  SHA160 = 2,
  SHA256 = 3,
  SHA384 = 4,
  SHA512 = 5,
};

enum class NEVPNIKEAuthenticationMethod : std::int64_t {
  none = 0,
  certificate = 1,
  sharedSecret = 2,
};

struct NEVPNIKEv2SecurityAssociationParameters {
  NEVPNIKEv2DiffieHellmanGroup diffieHellmanGroup = NEVPNIKEv2DiffieHellmanGroup::group14;
  NEVPNIKEv2EncryptionAlgorithm encryptionAlgorithm = NEVPNIKEv2EncryptionAlgorithm::algorithmAES256;
  NEVPNIKEv2IntegrityAlgorithm integrityAlgorithm = NEVPNIKEv2IntegrityAlgorithm::SHA256;

  bool operator==(const NEVPNIKEv2SecurityAssociationParameters&) const = default;
};

// A tunnel protocol configuration. Protocol objects are plain data held by shared_ptr: the
// manager saves a copy taken when the save is asked for and hands out fresh objects on a load,
// so an object is only ever changed by whoever holds it. Do not change one on one thread while
// another saves it.
class NEVPNProtocol {
 public:
  virtual ~NEVPNProtocol() = default;
  // An independent object of the same kind with the same values.
  virtual std::shared_ptr<NEVPNProtocol> copy() const = 0;

  std::optional<std::string> serverAddress;
  std::optional<std::string> username;
  // Persistent keychain reference of the password.
  std::optional<Bytes> passwordReference;
  bool disconnectOnSleep = false;

 protected:
  NEVPNProtocol() = default;
  NEVPNProtocol(const NEVPNProtocol&) = default;
  NEVPNProtocol& operator=(const NEVPNProtocol&) = default;
};

// IPsec with IKE version 1; the simulated tunnel carries IKEv2 only.
class NEVPNProtocolIPSec : public NEVPNProtocol {
 public:
  NEVPNProtocolIPSec() = default;
  NEVPNProtocolIPSec(const NEVPNProtocolIPSec&) = default;
  NEVPNProtocolIPSec& operator=(const NEVPNProtocolIPSec&) = default;
  std::shared_ptr<NEVPNProtocol> copy() const override { return std::make_shared<NEVPNProtocolIPSec>(*this); }

  NEVPNIKEAuthenticationMethod authenticationMethod = NEVPNIKEAuthenticationMethod::none;
  bool useExtendedAuthentication = false;
  // Persistent keychain reference of the pre-shared secret.
  std::optional<Bytes> sharedSecretReference;
  std::optional<std::string> localIdentifier;
  std::optional<std::string> remoteIdentifier;
};

class NEVPNProtocolIKEv2 : public NEVPNProtocolIPSec {
 public:
  NEVPNProtocolIKEv2() = default;
  NEVPNProtocolIKEv2(const NEVPNProtocolIKEv2&) = default;
  NEVPNProtocolIKEv2& operator=(const NEVPNProtocolIKEv2&) = default;
  std::shared_ptr<NEVPNProtocol> copy() const override { return std::make_shared<NEVPNProtocolIKEv2>(*this); }

  NEVPNIKEv2SecurityAssociationParameters ikeSecurityAssociationParameters;
  NEVPNIKEv2SecurityAssociationParameters childSecurityAssociationParameters;
};

}  // namespace platform
