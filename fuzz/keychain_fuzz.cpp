// The keychain file found at launch: damaged or not, the keychain takes a new item afterwards.
#include <filesystem>

#include "fuzz/fuzz_support.h"
#include "platform/foundation/files.h"
#include "platform/security/keychain.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace fs = std::filesystem;
  auto& sandbox = fuzzing::sandbox();
  sandbox.endProcess();
  const fs::path path = sandbox.device().keychainPath();
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(path.parent_path(), ec))
    if (entry.path().filename().string().rfind("keychain.sqlite", 0) == 0) fs::remove_all(entry.path(), ec);
  platform::writeFileAtomically(path, fuzzing::text(data, size));
  sandbox.launch();

  using platform::PlistValue;
  const PlistValue::Dictionary item{{platform::kSecClass, PlistValue(platform::kSecClassGenericPassword)},
                                    {platform::kSecAttrAccount, PlistValue("fuzz")}};
  PlistValue::Dictionary query = item;
  query[platform::kSecMatchLimit] = PlistValue(platform::kSecMatchLimitOne);
  query[platform::kSecReturnData] = PlistValue(true);
  std::optional<PlistValue> result;
  platform::SecItemCopyMatching(query, &result);
  PlistValue::Dictionary add = item;
  add[platform::kSecValueData] = PlistValue(platform::Bytes{1, 2, 3});
  const auto status = platform::SecItemAdd(add, nullptr);
  fuzzing::require(status == platform::errSecSuccess || status == platform::errSecDuplicateItem);
  return 0;
}
