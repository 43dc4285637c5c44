#include <gtest/gtest.h>

#include <optional>
#include <string>

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

}  // namespace
