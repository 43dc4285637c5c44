#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "platform/foundation/files.h"
#include "platform/foundation/user_defaults.h"
#include "platform/testing/sandbox.h"

namespace platform {
namespace {

using testing::Sandbox;

std::filesystem::path standardFile(Sandbox& s) { return s.device().preferencesDirectory() / "com.orvane.vpn.json"; }

TEST(UserDefaults, KindsSurviveARelaunch) {
  Sandbox s;
  const Date when(Duration(1'780'000'123'456'789));
  const PlistValue::Dictionary nested{{"vpnAddress", PlistValue("1.2.3.4")}, {"isAutoSelect", PlistValue(true)}};
  const std::vector<std::pair<std::string, PlistValue>> cases = {
      {"bool", PlistValue(true)},
      {"falseBool", PlistValue(false)},
      {"int", PlistValue(1)},
      {"zero", PlistValue(0)},
      {"real", PlistValue(2.0)},
      {"fraction", PlistValue(42.5)},
      {"string", PlistValue("héllo")},
      {"emptyString", PlistValue("")},
      {"date", PlistValue(when)},
      {"data", PlistValue(Bytes{0, 1, 2, 255})},
      {"emptyData", PlistValue(Bytes{})},
      {"array", PlistValue(PlistValue::Array{PlistValue(1), PlistValue(true), PlistValue("x")})},
      {"dict", PlistValue(nested)},
      // a dictionary whose key looks like a tag of the file format
      {"tricky", PlistValue(PlistValue::Dictionary{{"data", PlistValue("not base64!")}})},
      {"trickyReal", PlistValue(PlistValue::Dictionary{{"real", PlistValue("inf")}})},
      {"intMin", PlistValue(std::numeric_limits<std::int64_t>::min())},
      {"intMax", PlistValue(std::numeric_limits<std::int64_t>::max())},
      {"infinity", PlistValue(HUGE_VAL)},
      {"minusInfinity", PlistValue(-HUGE_VAL)},
      {"notANumber", PlistValue(std::nan(""))},
      {"largest", PlistValue(std::numeric_limits<double>::max())},
      {"tiniest", PlistValue(std::numeric_limits<double>::denorm_min())},
      {"third", PlistValue(1.0 / 3.0)},
      {"negativeZero", PlistValue(-0.0)},
      {"dateBefore1970", PlistValue(Date(Duration(-1'000'000)))},
      {"realsInside", PlistValue(PlistValue::Array{PlistValue(HUGE_VAL), PlistValue(PlistValue::Dictionary{
                                                                        {"r", PlistValue(-HUGE_VAL)}})})},
  };
  for (const auto& [k, v] : cases) UserDefaults::standard()->setObject(v, k);
  s.relaunch();
  auto d = UserDefaults::standard();
  EXPECT_TRUE(s.consoleLines().empty());
  for (const auto& [k, v] : cases) {
    auto got = d->objectForKey(k);
    ASSERT_TRUE(got) << k;
    EXPECT_EQ(got->type(), v.type()) << k;
    if (v.asReal() && std::isnan(*v.asReal())) {
      EXPECT_TRUE(std::isnan(*got->asReal())) << k;
    } else {
      EXPECT_EQ(*got, v) << k;
      if (v.asReal()) {
        EXPECT_EQ(std::signbit(*got->asReal()), std::signbit(*v.asReal())) << k;
      }
    }
  }
  EXPECT_FALSE(d->objectForKey("missing"));
}

TEST(UserDefaults, StoringNoneRemovesTheKeyForGood) {
  Sandbox s;
  UserDefaults::standard()->setObject(PlistValue("a"), "vpnAddress");
  UserDefaults::standard()->setObject(std::nullopt, "vpnAddress");
  s.relaunch();
  EXPECT_FALSE(UserDefaults::standard()->objectForKey("vpnAddress"));
}

TEST(UserDefaults, TypedReadersConvert) {
  Sandbox s;
  auto d = UserDefaults::standard();
  struct Case {
    PlistValue value;
    std::int64_t integer;
    bool boolean;
  };
  const std::vector<Case> cases = {
      {PlistValue(7), 7, true},        {PlistValue(true), 1, true},      {PlistValue(false), 0, false},
      {PlistValue(3.9), 3, true},      {PlistValue(-3.9), -3, true},     {PlistValue("12abc"), 12, true},
      {PlistValue("YES"), 0, true},    {PlistValue("abc"), 0, false},    {PlistValue(Bytes{1}), 0, false},
      {PlistValue(PlistValue::Dictionary{}), 0, false},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    d->setObject(cases[i].value, "k");
    EXPECT_EQ(d->integerForKey("k"), cases[i].integer) << i;
    EXPECT_EQ(d->boolForKey("k"), cases[i].boolean) << i;
  }
  EXPECT_EQ(d->integerForKey("absent"), 0);
  d->setInteger(5, "App_Launch_Count");
  EXPECT_EQ(d->objectForKey("App_Launch_Count")->type(), PlistValue::Type::Integer);
  d->setBool(true, "flag");
  EXPECT_EQ(d->objectForKey("flag")->type(), PlistValue::Type::Boolean);
}

TEST(UserDefaults, SuitesAreSeparateFilesAndBadNamesGiveNone) {
  Sandbox s;
  auto shared = UserDefaults::suite("group.lks.sharedKeychain");
  ASSERT_TRUE(shared);
  shared->setBool(true, "kNotificationPopupShown");
  EXPECT_FALSE(UserDefaults::standard()->objectForKey("kNotificationPopupShown"));
  EXPECT_TRUE(std::filesystem::exists(s.device().preferencesDirectory() / "group.lks.sharedKeychain.json"));
  for (const char* bad : {"", "NSGlobalDomain", "a/b", "..", "com.orvane.vpn"})
    EXPECT_EQ(UserDefaults::suite(bad), nullptr) << bad;
  s.relaunch();
  EXPECT_TRUE(UserDefaults::suite("group.lks.sharedKeychain")->boolForKey("kNotificationPopupShown"));
}

TEST(UserDefaults, DamagedFileIsKeptAsideAndTheStoreStartsEmpty) {
  namespace fs = std::filesystem;
  struct Case {
    std::string name;
    std::function<void(const fs::path&)> damage;
  };
  auto text = [](std::string t) { return [t](const fs::path& p) { ASSERT_TRUE(writeFileAtomically(p, t)); }; };
  std::vector<Case> cases = {
      // not in the way of a save, yet never read again
      {"a directory",
       [](const fs::path& p) {
         fs::create_directory(p);
         ASSERT_TRUE(writeFileAtomically(p / "inside", std::string("x")));
       }},
      {"a FIFO", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }},
  };
  for (std::string content : {std::string("{not json"), std::string("[1,2]"), std::string(R"({"dict":{"k":{"date":"x"}}})"),
                              std::string(),
                              // integers past 64 signed bits
                              std::string(R"({"dict":{"k":18446744073709551615}})"),
                              std::string(R"({"dict":{"k":{"date":9223372036854775808}}})"),
                              std::string(R"({"dict":{"k":{"real":"infinity"}}})"),
                              // over the size limit, however well formed
                              R"({"dict":{"k":1)" + std::string(UserDefaults::kMaximumFileBytes, ' ') + "}}"})
    cases.push_back({content.substr(0, 40), text(content)});
  for (const auto& c : cases) {
    Sandbox s;
    s.endProcess();
    const fs::path file = standardFile(s), aside = fs::path(file).concat(".damaged");
    c.damage(file);
    const auto type = fs::symlink_status(file).type();
    const auto bytes = readFile(file);
    s.launch();
    auto d = UserDefaults::standard();
    EXPECT_TRUE(d->dictionaryRepresentation().empty()) << c.name;
    auto lines = s.consoleLines();
    ASSERT_EQ(lines.size(), 1u) << c.name;
    EXPECT_NE(lines[0].find("damaged"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("kept it as " + aside.string()), std::string::npos) << lines[0];
    EXPECT_EQ(fs::symlink_status(aside).type(), type) << c.name;
    EXPECT_EQ(readFile(aside), bytes) << c.name;
    d->setInteger(1, "k");
    s.relaunch();
    EXPECT_EQ(UserDefaults::standard()->integerForKey("k"), 1) << c.name;
    EXPECT_TRUE(s.consoleLines().empty()) << c.name;
  }
}

TEST(UserDefaults, FailedWriteKeepsTheOldFileWhole) {
  Sandbox s;
  auto d = UserDefaults::standard();
  d->setObject(PlistValue("old"), "k");
  const auto before = readFile(standardFile(s));
  // a file-size limit makes the next write fail halfway
  auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  rlimit tiny = old;
  tiny.rlim_cur = 16;
  ::setrlimit(RLIMIT_FSIZE, &tiny);
  d->setObject(PlistValue(std::string(1000, 'x')), "k");
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(readFile(standardFile(s)), before);
  auto lines = s.consoleLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("cannot save"), std::string::npos);
  size_t files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(s.device().preferencesDirectory())) ++files;
  EXPECT_EQ(files, 1u);  // no temporary file left behind
}

}  // namespace
}  // namespace platform
