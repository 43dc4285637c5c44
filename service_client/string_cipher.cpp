#include "service_client/string_cipher.h"

#include <openssl/err.h>
#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
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

using ContextPtr = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

// A context keyed for one message. Key bytes sized by their count: below 16 to 16, 16..23 to 24,
// else to 32 (zeros appended or cut).
ContextPtr keyedContext(bool encrypt, std::string_view key) {
  ContextPtr ctx(nullptr, &EVP_CIPHER_CTX_free);
  std::array<unsigned char, 32> bytes{};
  std::memcpy(bytes.data(), key.data(), std::min(key.size(), bytes.size()));
  const EVP_CIPHER* cipher = key.size() < 16 ? ciphers().aes128 : key.size() < 24 ? ciphers().aes192 : ciphers().aes256;
  const std::array<unsigned char, 16> iv{};
  if (!cipher) return ctx;
  ctx.reset(EVP_CIPHER_CTX_new());
  if (ctx && EVP_CipherInit_ex2(ctx.get(), cipher, bytes.data(), iv.data(), encrypt ? 1 : 0, nullptr) != 1)
    ctx.reset();
  return ctx;
}

bool update(EVP_CIPHER_CTX* ctx, const void* in, size_t length, unsigned char* out, int& written) {
  written = 0;
  return length == 0 ||
         EVP_CipherUpdate(ctx, out, &written, static_cast<const unsigned char*>(in), static_cast<int>(length)) == 1;
}

// Texts go through the cipher in slices that stay in the first-level cache; a multiple of 48
// keeps both cipher blocks and Base64 groups whole.
constexpr size_t kSlice = 48 * 128;

std::optional<std::string> encipher(std::string_view text, std::string_view key) {
  const ContextPtr ctx = keyedContext(true, key);
  if (!ctx) return std::nullopt;
  const size_t cipherLength = (text.size() / 16 + 1) * 16;
  std::string out(platform::base64EncodedLength(cipherLength), '\0');
  char* o = out.data();
  std::array<unsigned char, kSlice + 16> slice;
  int written = 0;
  for (; text.size() > kSlice; text.remove_prefix(kSlice)) {
    if (!update(ctx.get(), text.data(), kSlice, slice.data(), written)) return std::nullopt;
    platform::base64Encode(slice.data(), kSlice, o);  // a whole slice in, a whole slice out
    o += platform::base64EncodedLength(kSlice);
  }
  int last = 0;
  if (!update(ctx.get(), text.data(), text.size(), slice.data(), written) ||
      EVP_CipherFinal_ex(ctx.get(), slice.data() + written, &last) != 1)
    return std::nullopt;
  platform::base64Encode(slice.data(), static_cast<size_t>(written + last), o);
  return out;
}

std::optional<std::string> encipherClearingErrors(std::string_view text, std::string_view key) {
  auto out = encipher(text, key);
  // a failure is no one's business but ours: leave no error behind on this thread's queue
  if (!out) ERR_clear_error();
  return out;
}

// Characters in the table: 0..63 the value of an alphabet character, else one of these.
constexpr std::uint8_t kSkipped = 0x80;
constexpr std::uint8_t kPad = 0x40;

constexpr std::array<std::uint8_t, 256> kDecoding = [] {
  std::array<std::uint8_t, 256> t{};
  t.fill(kSkipped);
  constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::uint8_t v = 0; v < 64; ++v) t[static_cast<unsigned char>(alphabet[v])] = v;
  t['='] = kPad;
  return t;
}();

// The same values already in their place among the 24 bits of a group, one table per place;
// a character outside the alphabet sets a bit above them.
constexpr std::uint32_t kOutside = 1u << 24;
constexpr std::array<std::array<std::uint32_t, 256>, 4> kPlaced = [] {
  std::array<std::array<std::uint32_t, 256>, 4> t{};
  for (int place = 0; place < 4; ++place)
    for (int c = 0; c < 256; ++c)
      t[place][c] = kDecoding[c] < 64 ? std::uint32_t{kDecoding[c]} << (6 * (3 - place)) : kOutside;
  return t;
}();

// The lenient decoder, fed a text in pieces: skips characters outside the alphabet, ends at the
// first "=", and gives a group cut short its whole bytes only when "=" ends it.
class LenientDecoder {
 public:
  // Room the output of `feed` needs for a piece of that many characters.
  static constexpr size_t room(size_t characters) { return (characters + 3) / 4 * 3 + 8; }

  size_t feed(std::string_view piece, std::uint8_t* out) {
    const auto* in = reinterpret_cast<const unsigned char*>(piece.data());
    const auto* const end = in + piece.size();
    std::uint8_t* o = out;
    while (in < end && !ended_) {
      if (count_ == 0) {
        // two whole groups at a time while every character is in the alphabet
        for (; end - in >= 8; in += 8, o += 6) {
          const std::uint32_t first = kPlaced[0][in[0]] | kPlaced[1][in[1]] | kPlaced[2][in[2]] | kPlaced[3][in[3]];
          const std::uint32_t second = kPlaced[0][in[4]] | kPlaced[1][in[5]] | kPlaced[2][in[6]] | kPlaced[3][in[7]];
          if ((first | second) & kOutside) break;
          store48(o, std::uint64_t{first} << 24 | second);
        }
        if (in == end) break;
      }
      const std::uint8_t v = kDecoding[*in++];
      if (v < 64) {
        group_ = group_ << 6 | v;
        if (++count_ == 4) {
          o[0] = static_cast<std::uint8_t>(group_ >> 16);
          o[1] = static_cast<std::uint8_t>(group_ >> 8);
          o[2] = static_cast<std::uint8_t>(group_);
          o += 3;
          count_ = 0;
          group_ = 0;
        }
      } else if (v == kPad) {
        ended_ = true;
      }
    }
    return static_cast<size_t>(o - out);
  }

  // The last bytes of a group that "=" cut short; a lone character gives none.
  size_t finish(std::uint8_t* out) const {
    if (!ended_ || count_ < 2) return 0;
    if (count_ == 2) {
      out[0] = static_cast<std::uint8_t>(group_ >> 4);
      return 1;
    }
    out[0] = static_cast<std::uint8_t>(group_ >> 10);
    out[1] = static_cast<std::uint8_t>(group_ >> 2);
    return 2;
  }

  bool ended() const { return ended_; }

 private:
  // The low 48 bits, most significant byte first; writes 8 bytes.
  static void store48(std::uint8_t* o, std::uint64_t v) {
    v <<= 16;
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
    std::memcpy(o, &v, 8);
  }

  std::uint32_t group_ = 0;
  unsigned count_ = 0;
  bool ended_ = false;
};

enum class Deciphered { text, cipherFailed, notUTF8 };

Deciphered decipher(std::string_view text, std::string_view key, std::string& out) {
  const ContextPtr ctx = keyedContext(false, key);
  if (!ctx) return Deciphered::cipherFailed;
  out.reserve(text.size() / 4 * 3 + 16);
  LenientDecoder decoder;
  constexpr size_t kPiece = kSlice / 3 * 4;
  std::array<std::uint8_t, LenientDecoder::room(kPiece)> decoded;
  std::array<unsigned char, decoded.size() + 16> plain;
  size_t total = 0;
  int written = 0;
  // each piece is decoded and deciphered while it is still in the cache
  for (size_t at = 0; at < text.size() && !decoder.ended(); at += kPiece) {
    const size_t n = decoder.feed(text.substr(at, kPiece), decoded.data());
    total += n;
    if (!update(ctx.get(), decoded.data(), n, plain.data(), written)) return Deciphered::cipherFailed;
    out.append(reinterpret_cast<const char*>(plain.data()), static_cast<size_t>(written));
  }
  const size_t n = decoder.finish(decoded.data());
  // no bytes at all decipher to the empty text (the cipher itself would call it bad padding)
  if (total + n == 0) return Deciphered::text;
  int last = 0;
  if (!update(ctx.get(), decoded.data(), n, plain.data(), written)) return Deciphered::cipherFailed;
  out.append(reinterpret_cast<const char*>(plain.data()), static_cast<size_t>(written));
  if (EVP_CipherFinal_ex(ctx.get(), plain.data(), &last) != 1) return Deciphered::cipherFailed;
  out.append(reinterpret_cast<const char*>(plain.data()), static_cast<size_t>(last));
  return platform::isValidUTF8(out) ? Deciphered::text : Deciphered::notUTF8;
}

}  // namespace

std::string QVExtStore::add(std::string_view text, std::string_view key) {
  return encipherClearingErrors(text, key).value_or("");
}

std::optional<std::string> QVExtStore::remove(std::string_view text, std::string_view key) {
  std::string out;
  switch (decipher(text, key, out)) {
    case Deciphered::text: return out;
    case Deciphered::notUTF8: return std::nullopt;
    case Deciphered::cipherFailed: break;
  }
  ERR_clear_error();  // as for enciphering
  return "";
}

std::string QVExtStore::qv_add(const std::optional<std::string>& text, const std::optional<std::string>& key) {
  if (!text || !key) return "";
  return add(*text, *key);
}

std::optional<std::string> QVExtStore::qv_remove(const std::optional<std::string>& text,
                                                 const std::optional<std::string>& key) {
  if (!key) return "";
  return remove(text ? std::string_view(*text) : std::string_view(), *key);
}

platform::Bytes QVExtStore::decodeLeniently(std::string_view text) {
  platform::Bytes out(LenientDecoder::room(text.size()));
  LenientDecoder decoder;
  size_t n = decoder.feed(text, out.data());
  n += decoder.finish(out.data() + n);
  out.resize(n);
  return out;
}
