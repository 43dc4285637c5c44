// The string cipher's lenient decoder and decipher on any text, and its round trip.
#include "fuzz/fuzz_support.h"
#include "platform/foundation/bytes.h"
#include "service_client/string_cipher.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input = fuzzing::text(data, size);
  QVExtStore::decodeLeniently(input);
  QVExtStore::qv_remove(input, std::string("0123456789abcdef0123456789abcdef"));
  QVExtStore::qv_remove(input, input);
  if (platform::isValidUTF8(input)) {
    const std::string enciphered = QVExtStore::qv_add(input, std::string("key"));
    fuzzing::require(QVExtStore::qv_remove(enciphered, std::string("key")) == input);
  }
  return 0;
}
