#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "service_client/string_cipher.h"

namespace {

const std::string kExchangeKey = "com.orvane.vpn~~~~~~~~~~~~~~~~~~";

// Expected texts computed with the openssl command line:
//   printf %s hello | openssl enc -aes-256-cbc -K <key hex, zero-extended> -iv 00..00 | base64
TEST(StringCipher, MatchesIndependentlyComputedVectors) {
  struct Case {
    std::string text, key, base64;
  };
  const Case cases[] = {
      {"hello", kExchangeKey, "N8axqYXiwvQuznlQREnICA=="},
      {"", kExchangeKey, "Bgf1tJzqzS5SqnEd5aWRDw=="},
      {"0123456789abcdef", kExchangeKey, "igE7svBtuNAtWDz3ae1FTgP3e5GlYVu34Kk8NqW0ag0="},
      {"hello", "", "mDTtUYy8j76a88bst164wA=="},                                          // sixteen zero bytes
      {"hello", "sixteen-plus-4chars", "4LuhgGZP0a+7bx72AwFzMw=="},                       // AES-192
      {"hello", "0123456789012345678901234567890123456789", "0KV99uNYruGR2PcDDfDCfw=="},  // first 32 bytes
      {"h\xc3\xa9llo w\xc3\xb6rld \xe2\x9c\x93", "short", "Z32IEKrVRRD6ObiRwIjpw8+oTo4QiZYNadqIuQBawnY="},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(QVExtStore::qv_add(c.text, c.key), c.base64) << c.text << " / " << c.key;
    EXPECT_EQ(QVExtStore::qv_remove(c.base64, c.key), c.text) << c.base64;
  }
}

TEST(StringCipher, RoundTripsAnyTextAndIsDeterministic) {
  for (const std::string& text : {std::string(), std::string("x"), std::string(15, 'a'), std::string(16, 'a'),
                                 std::string(1000, 'z'), std::string("\xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80"),
                                 std::string("with\0nul", 8)}) {
    const auto enciphered = QVExtStore::qv_add(text, kExchangeKey);
    EXPECT_EQ(enciphered, QVExtStore::qv_add(text, kExchangeKey));
    EXPECT_EQ(enciphered.size(), (text.size() / 16 + 1) * 16 / 3 * 4 + ((text.size() / 16 + 1) * 16 % 3 ? 4 : 0));
    EXPECT_EQ(enciphered.find('\n'), std::string::npos);
    EXPECT_EQ(QVExtStore::qv_remove(enciphered, kExchangeKey), text);
  }
  EXPECT_EQ(QVExtStore::qv_add("", kExchangeKey).size(), 24u);
  EXPECT_EQ(QVExtStore::qv_add(std::string(16, 'a'), kExchangeKey).size(), 44u);
}

TEST(StringCipher, FailuresGiveTheEmptyTextAndBadUTF8GivesNone) {
  EXPECT_EQ(QVExtStore::qv_add(std::nullopt, kExchangeKey), "");
  EXPECT_EQ(QVExtStore::qv_add("hello", std::nullopt), "");
  const std::string hello = "N8axqYXiwvQuznlQREnICA==";
  const std::optional<std::string> empty = "";
  EXPECT_EQ(QVExtStore::qv_remove(hello, std::nullopt), empty);
  EXPECT_EQ(QVExtStore::qv_remove(std::nullopt, kExchangeKey), empty);
  EXPECT_EQ(QVExtStore::qv_remove("", kExchangeKey), empty);
  EXPECT_EQ(QVExtStore::qv_remove("not base64 at all!", kExchangeKey), empty);
  EXPECT_EQ(QVExtStore::qv_remove("N8axqYXiwvQuznlQ", kExchangeKey), empty);        // 12 bytes: no whole block
  EXPECT_EQ(QVExtStore::qv_remove(hello, "another key of thirty-two chars!"), empty);  // bad padding
  // enciphered bytes 0xff 0xfe: the cipher succeeds, the text is not UTF-8
  EXPECT_EQ(QVExtStore::qv_remove("CnvHzIa3YKMLtd9yfIGyVw==", kExchangeKey), std::nullopt);
}

TEST(StringCipher, LenientDecoding) {
  using platform::Bytes;
  struct Case {
    std::string text;
    Bytes bytes;
  };
  const Case cases[] = {
      {"YWJj", {'a', 'b', 'c'}},
      {"YW\nJj", {'a', 'b', 'c'}},                // line breaks and spaces are skipped
      {" Y W J j ", {'a', 'b', 'c'}},
      {"Y*W#J!j", {'a', 'b', 'c'}},               // anything outside the alphabet is skipped
      {"YWJj=YWJj", {'a', 'b', 'c'}},             // decoding ends at the first "="
      {"YWI=", {'a', 'b'}},
      {"YQ==", {'a'}},
      {"YWJjYQ", {'a', 'b', 'c'}},                // a short last group without "=" gives nothing
      {"YWJjY=", {'a', 'b', 'c'}},                // a lone character before "=" gives no byte
      {"", {}},
      {"====", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(QVExtStore::decodeLeniently(c.text), c.bytes) << c.text;
  // an enciphered text with line breaks deciphers as if they were absent
  EXPECT_EQ(QVExtStore::qv_remove("N8axqYXi\r\nwvQuznlQ REnICA==", kExchangeKey), "hello");
}

// The whole message through OpenSSL in one go, as the command line does it.
std::string openSSLEnciphered(const std::string& text, const std::string& key32) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  std::vector<unsigned char> out(text.size() + 16);
  int n = 0;
  int last = 0;
  const unsigned char iv[16] = {};
  EVP_EncryptInit_ex(ctx, EVP_aes_256_cbc(), nullptr, reinterpret_cast<const unsigned char*>(key32.data()), iv);
  EVP_EncryptUpdate(ctx, out.data(), &n, reinterpret_cast<const unsigned char*>(text.data()),
                    static_cast<int>(text.size()));
  EVP_EncryptFinal_ex(ctx, out.data() + n, &last);
  EVP_CIPHER_CTX_free(ctx);
  std::vector<unsigned char> base64((n + last + 2) / 3 * 4 + 1);
  EVP_EncodeBlock(base64.data(), out.data(), n + last);
  return reinterpret_cast<const char*>(base64.data());
}

// Mixed ASCII and multi-byte characters, so that sequences fall across every boundary.
std::string mixedText(size_t size, std::mt19937& random) {
  const std::vector<std::string> pieces = {"a", "{\"k\":", "12345", " ", "\xc3\xa9", "\xe2\x9c\x93", "\xf0\x9f\x98\x80"};
  std::string text;
  while (text.size() < size) text += pieces[random() % pieces.size()];
  return text;
}

TEST(StringCipher, LongTextsMatchOpenSSLInOneGo) {
  std::mt19937 random(7);
  // lengths on both sides of the slices the cipher works through
  for (const size_t size : {6143u, 6144u, 6145u, 12287u, 12288u, 12300u, 100000u}) {
    const std::string text = mixedText(size, random);
    const std::string expected = openSSLEnciphered(text, kExchangeKey);
    EXPECT_EQ(QVExtStore::qv_add(text, kExchangeKey), expected) << size;
    EXPECT_EQ(QVExtStore::qv_remove(expected, kExchangeKey), text) << size;
  }
}

// The decoding rules written out plainly, one character at a time.
platform::Bytes decodedByTheRules(const std::string& text) {
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  platform::Bytes out;
  std::vector<unsigned> group;
  bool padded = false;
  for (const char c : text) {
    if (c == '=') {
      padded = true;
      break;
    }
    const auto at = alphabet.find(c);
    if (at == std::string::npos) continue;
    group.push_back(static_cast<unsigned>(at));
    if (group.size() == 4) {
      const unsigned v = group[0] << 18 | group[1] << 12 | group[2] << 6 | group[3];
      out.insert(out.end(), {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
                             static_cast<std::uint8_t>(v)});
      group.clear();
    }
  }
  if (padded && group.size() >= 2) {
    out.push_back(static_cast<std::uint8_t>(group[0] << 2 | group[1] >> 4));
    if (group.size() == 3) out.push_back(static_cast<std::uint8_t>((group[1] & 0xF) << 4 | group[2] >> 2));
  }
  return out;
}

TEST(StringCipher, LenientDecodingOfLongTextsKeepsTheRules) {
  std::mt19937 random(11);
  const std::string noise[] = {" ", "\r\n", "*", "\xc3\xa9", "\x80", std::string(1, '\0'), "-_"};
  for (int round = 0; round < 40; ++round) {
    const std::string text = mixedText(random() % 20000, random);
    const std::string clean = QVExtStore::qv_add(text, kExchangeKey);
    std::string noisy;
    for (const char c : clean) {
      noisy += c;
      if (random() % 50 == 0) noisy += noise[random() % std::size(noise)];
    }
    // stray characters anywhere change nothing
    EXPECT_EQ(QVExtStore::decodeLeniently(noisy), decodedByTheRules(clean)) << round;
    EXPECT_EQ(QVExtStore::qv_remove(noisy, kExchangeKey), text) << round;
    // "=" or a cut anywhere: whatever comes before it, by the rules
    std::string cut = noisy.substr(0, random() % (noisy.size() + 1));
    if (round % 2) cut += "=" + noisy;
    EXPECT_EQ(QVExtStore::decodeLeniently(cut), decodedByTheRules(cut)) << round;
  }
}

}  // namespace
