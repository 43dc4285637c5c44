// The user-defaults file read at launch: whatever it keeps, it writes back in a form it reads
// again, key for key.
#include <filesystem>

#include "fuzz/fuzz_support.h"
#include "platform/foundation/files.h"
#include "platform/foundation/user_defaults.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto& sandbox = fuzzing::sandbox();
  const auto path = sandbox.device().preferencesDirectory() / "fuzz.json";
  // the last input's damaged copy goes: each run keeps only its own
  std::error_code ec;
  std::filesystem::remove(path.string() + ".damaged", ec);
  platform::writeFileAtomically(path, fuzzing::text(data, size));
  platform::UserDefaults first(path);
  const auto kept = first.dictionaryRepresentation();
  if (kept.empty()) return 0;
  first.setObject(kept.begin()->second, kept.begin()->first);  // writes the whole store
  platform::UserDefaults again(path);
  fuzzing::require(again.dictionaryRepresentation().size() == kept.size());
  return 0;
}
