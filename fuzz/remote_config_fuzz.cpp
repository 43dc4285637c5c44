// The remote configuration's look-up by name, from its cache file: the file as found (first byte
// odd) or a payload enciphered as the service would (even), the name from the input too.
#include <filesystem>

#include "fuzz/fuzz_support.h"
#include "platform/foundation/files.h"
#include "service_client/remote_config_cache.h"
#include "service_client/service_exchange.h"
#include "service_client/string_cipher.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::sandbox();
  if (size == 0) return 0;
  const std::string input = fuzzing::text(data + 1, size - 1);
  const std::string file = (data[0] & 1) ? input : QVExtStore::qv_add(input, QVServerConnect::exchangeKey());
  auto& cache = QVServerConnect::oneInst()->resources1();
  platform::writeFileAtomically(cache.filePath(), file);
  cache.qv_count();
  QVServerConnect::hasResponse("u.f.e");
  QVServerConnect::hasResponse(input.substr(0, 16));
  return 0;
}
