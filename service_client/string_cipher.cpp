#include "service_client/string_cipher.h"

#include <openssl/err.h>
#include <openssl/evp.h>

#include <array>
#include <memory>

#include "platform/foundation/plist.h"

namespace {

// The three AES-CBC ciphers, fetched once for the life of the program.
struct Ciphers {
  EVP_CIPHER* aes128 = EVP_CIPHER_fetch(nullptr, "AES-128-CBC", nullptr);
  EVP_CIPHER* aes192 = EVP_CIPHER_fetch(nullptr, "AES-192-CBC", nullptr);
  EVP_CIPHER* aes256 = EVP_CIPHER_fetch(nullptr, "AES-256-CBC", nullptr);
  ~Ciphers() {
    EVP_CIPHER_free(aes128);
    EVP_CIPHER_free(aes192);
    EVP_CIPHER_free(aes256);
  }
};

const Ciphers& ciphers() {
  static const Ciphers c;
  return c;
}

// Key bytes sized by their count: below 16 to 16, 16..23 to 24, else to 32 (zeros appended or cut).
struct SizedKey {
  platform::Bytes bytes;
  const EVP_CIPHER* cipher;
};

SizedKey sizeKey(const std::string& key) {
  platform::Bytes bytes = platform::toBytes(key);
  const EVP_CIPHER* cipher;
  if (bytes.size() < 16) {
    bytes.resize(16, 0);
    cipher = ciphers().aes128;
  } else if (bytes.size() < 24) {
    bytes.resize(24, 0);
    cipher = ciphers().aes192;
  } else {
    bytes.resize(32, 0);
    cipher = ciphers().aes256;
  }
  return {std::move(bytes), cipher};
}

using ContextPtr = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

std::optional<platform::Bytes> cryptOnce(bool encrypt, const platform::Bytes& input, const std::string& key) {
  const SizedKey sized = sizeKey(key);
  if (!sized.cipher) return std::nullopt;
  ContextPtr ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  if (!ctx) return std::nullopt;
  const std::array<unsigned char, 16> iv{};
  if (EVP_CipherInit_ex2(ctx.get(), sized.cipher, sized.bytes.data(), iv.data(), encrypt ? 1 : 0, nullptr) != 1)
    return std::nullopt;
  platform::Bytes out(input.size() + 16);
  int written = 0;
  int finalWritten = 0;
  if (!input.empty() &&
      EVP_CipherUpdate(ctx.get(), out.data(), &written, input.data(), static_cast<int>(input.size())) != 1)
    return std::nullopt;
  if (EVP_CipherFinal_ex(ctx.get(), out.data() + written, &finalWritten) != 1) return std::nullopt;
  out.resize(static_cast<size_t>(written + finalWritten));
  return out;
}

std::optional<platform::Bytes> crypt(bool encrypt, const platform::Bytes& input, const std::string& key) {
  auto out = cryptOnce(encrypt, input, key);
  // a failure is no one's business but ours: leave no error behind on this thread's queue
  if (!out) ERR_clear_error();
  return out;
}

int alphabetValue(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string QVExtStore::qv_add(const std::optional<std::string>& text, const std::optional<std::string>& key) {
  if (!text || !key) return "";
  const auto enciphered = crypt(true, platform::toBytes(*text), *key);
  if (!enciphered) return "";
  return platform::base64Encode(*enciphered);
}

std::optional<std::string> QVExtStore::qv_remove(const std::optional<std::string>& text,
                                                 const std::optional<std::string>& key) {
  if (!key) return "";
  const platform::Bytes input = text ? decodeLeniently(*text) : platform::Bytes{};
  // no bytes at all decipher to the empty text (the cipher itself would call it bad padding)
  if (input.empty()) return "";
  const auto plain = crypt(false, input, *key);
  if (!plain) return "";
  std::string result = platform::toString(*plain);
  if (!platform::isValidUTF8(result)) return std::nullopt;
  return result;
}

platform::Bytes QVExtStore::decodeLeniently(const std::string& text) {
  platform::Bytes out;
  std::array<int, 4> group{};
  size_t count = 0;
  bool endedByPad = false;
  for (const char c : text) {
    if (c == '=') {
      endedByPad = true;
      break;
    }
    const int v = alphabetValue(c);
    if (v < 0) continue;
    group[count++] = v;
    if (count == 4) {
      out.push_back(static_cast<std::uint8_t>((group[0] << 2) | (group[1] >> 4)));
      out.push_back(static_cast<std::uint8_t>(((group[1] & 0xF) << 4) | (group[2] >> 2)));
      out.push_back(static_cast<std::uint8_t>(((group[2] & 0x3) << 6) | group[3]));
      count = 0;
    }
  }
  // A group cut short gives its whole bytes only when "=" ends it; a lone character gives none.
  if (endedByPad && count >= 2) {
    out.push_back(static_cast<std::uint8_t>((group[0] << 2) | (group[1] >> 4)));
    if (count == 3) out.push_back(static_cast<std::uint8_t>(((group[1] & 0xF) << 4) | (group[2] >> 2)));
  }
  return out;
}
