#include <gtest/gtest.h>

#include <set>

#include "platform/foundation/json.h"
#include "platform/foundation/plist.h"
#include "platform/foundation/random.h"

namespace platform {
namespace {

TEST(Json, ReadsFragmentsKeepsNullAndRejectsBadInput) {
  const std::vector<std::pair<std::string, nlohmann::json>> good = {
      {"{}", nlohmann::json::object()}, {"null", nullptr}, {"\"x\"", "x"}, {"3", 3}, {"[1,2.5]", {1, 2.5}}};
  for (const auto& [text, value] : good) {
    auto r = JSONObjectWithData(text);
    ASSERT_TRUE(r.value) << text;
    EXPECT_EQ(*r.value, value) << text;
    EXPECT_FALSE(r.error);
  }
  using namespace std::string_literals;
  for (const std::string& bad : {""s, "{"s, "{\"a\":\"\xff\"}"s, "nul"s, "1 2"s, "{\"in\":\"ID9\"}\0<html>"s, "{\"a\":1}\0junk"s,
                                "\0"s, "[1]\0"s, "\"a\0b\""s}) {
    auto r = JSONObjectWithData(bad);
    EXPECT_FALSE(r.value) << bad;
    ASSERT_TRUE(r.error) << bad;
    EXPECT_FALSE(r.error->localizedDescription.empty());
    // said in our words, never the reader's internals or the raw input
    EXPECT_EQ(r.error->localizedDescription.find("json.exception"), std::string::npos) << r.error->localizedDescription;
    EXPECT_EQ(r.error->localizedDescription.find_first_of("\xff<"), std::string::npos) << r.error->localizedDescription;
  }
  const std::string format = "The data couldn't be read because it isn't in the correct format.";
  EXPECT_EQ(JSONObjectWithData("{\"a\":").error->localizedDescription, format + " (it ends too early)");
  EXPECT_EQ(JSONObjectWithData("1 2").error->localizedDescription, format + " (unexpected text at byte 3)");
  EXPECT_EQ(JSONDataWithObject({{"a", 1}, {"b", "x"}}), R"({"a":1,"b":"x"})");
}

TEST(Json, DeepNestingIsAnErrorNotACrash) {
  const auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  EXPECT_TRUE(JSONObjectWithData(nested(512)).value);
  EXPECT_TRUE(JSONObjectWithData(nested(200000)).error);
  // brackets inside texts do not count
  EXPECT_TRUE(JSONObjectWithData("[\"" + std::string(1000, '[') + "\\\"\"]").value);
}

TEST(Plist, TaggedFormRejectsWhatIsNotAValue) {
  for (const auto* bad : {R"({"a":1,"b":2})", R"({"date":"x"})", R"({"data":"@@@@"})", R"(null)", R"({"what":1})"})
    EXPECT_THROW(PlistValue::fromTaggedJSON(nlohmann::json::parse(bad)), std::runtime_error) << bad;
}

TEST(Plist, Base64RoundTripAndStrictDecoding) {
  for (const Bytes& b : {Bytes{}, Bytes{1}, Bytes{1, 2}, Bytes{1, 2, 3}, Bytes{255, 0, 128, 7}})
    EXPECT_EQ(base64DecodeStrict(base64Encode(b)), b);
  EXPECT_EQ(base64Encode(toBytes("abc")), "YWJj");
  EXPECT_EQ(base64Encode(toBytes("ab")), "YWI=");
  for (const auto* bad : {"YWJ", "YW=j", "Y===", "YW J"}) EXPECT_EQ(base64DecodeStrict(bad), std::nullopt) << bad;
}

TEST(Utf8, ValidationTable) {
  EXPECT_TRUE(isValidUTF8(""));
  EXPECT_TRUE(isValidUTF8("plain"));
  EXPECT_TRUE(isValidUTF8("h\xc3\xa9llo \xf0\x9f\x98\x80"));
  for (const char* bad : {"\xff", "\xc3", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xe2\x82"})
    EXPECT_FALSE(isValidUTF8(bad)) << bad;
}

// Long ASCII runs are checked in blocks: a sequence is judged the same wherever it lies.
TEST(Utf8, SequencesAreJudgedTheSameAtEveryPositionOfALongText) {
  const std::pair<std::string, bool> sequences[] = {
      {"\xc3\xa9", true},  {"\xe2\x9c\x93", true}, {"\xf0\x9f\x98\x80", true}, {"\xff", false},
      {"\xc0\xaf", false}, {"\xed\xa0\x80", false}, {"\xf4\x90\x80\x80", false}, {"\x80", false}};
  for (const auto& [sequence, valid] : sequences) {
    for (size_t at = 0; at <= 100; ++at) {
      std::string text(100, 'a');
      text.insert(at, sequence);
      EXPECT_EQ(isValidUTF8(text), valid) << at;
    }
    // cut short at the end of a long text
    if (sequence.size() > 1) {
      EXPECT_FALSE(isValidUTF8(std::string(64, 'a') + sequence.substr(0, sequence.size() - 1)));
    }
  }
}

TEST(Utf8, RepairReplacesEachBadByteAndKeepsTheRest) {
  EXPECT_EQ(repairedUTF8("h\xc3\xa9llo"), "h\xc3\xa9llo");
  EXPECT_EQ(repairedUTF8("a\xff" "b\xe2\x82"), "a\xef\xbf\xbd" "b\xef\xbf\xbd\xef\xbf\xbd");
  EXPECT_TRUE(isValidUTF8(repairedUTF8("\xc0\xaf\xed\xa0\x80")));
}

TEST(Random, SeededSourceIsRepeatableAndCoversTheRange) {
  SystemRandom a(7), b(7);
  std::set<size_t> seen;
  for (int i = 0; i < 200; ++i) {
    auto x = a.uniformIndex(5);
    EXPECT_EQ(x, b.uniformIndex(5));
    EXPECT_LT(x, 5u);
    seen.insert(x);
  }
  EXPECT_EQ(seen.size(), 5u);
  EXPECT_EQ(a.uniformIndex(0), 0u);
}

}  // namespace
}  // namespace platform
