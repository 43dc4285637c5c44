#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/foundation/bundle.h"
#include "platform/testing/sandbox.h"
#include "platform/uikit/color.h"
#include "platform/uikit/image.h"
#include "platform/uikit/storyboard.h"

namespace platform {
namespace {

// `depth` times `open`, then `inner`, then `depth` times `close`.
std::string nested(int depth, const std::string& open, const std::string& inner, const std::string& close) {
  std::string s;
  for (int i = 0; i < depth; ++i) s += open;
  s += inner;
  for (int i = 0; i < depth; ++i) s += close;
  return s;
}

// A storyboard whose one scene "a" (the initial one) has this view.
std::string sceneWithView(const std::string& view) {
  return R"({"initialScene": "a", "scenes": [{"id": "a", "view": )" + view + "}]}";
}

std::string viewProperty(const std::string& key, const std::string& value, const std::string& cls = "UIView") {
  return sceneWithView(R"({"class": ")" + cls + R"(", "properties": {")" + key + "\": " + value + "}}");
}

struct Damage {
  std::string file;
  std::string content;
  std::string message;  // a fragment of the fatal message
};

void PrintTo(const Damage& d, std::ostream* os) { *os << d.file << " dying with \"" << d.message << "\""; }

// Writes the one damaged file into a fresh bundle directory and reads it as the application does.
void readDamaged(const Damage& d) {
  testing::Sandbox sandbox;
  const auto dir = sandbox.device().root() / "Damaged.bundle";
  std::filesystem::create_directories(dir);
  std::ofstream(dir / d.file, std::ios::binary) << d.content;
  auto bundle = std::make_shared<Bundle>(Bundle::Config{{}, dir});
  if (d.file == "Info.json") {
    Bundle::bundleWithPath(dir);
  } else if (d.file == "images.json") {
    UIImage::imageNamed("any", bundle);
  } else if (d.file == "colors.json") {
    UIColor::colorNamed("any", bundle);
  } else {
    auto storyboard = UIStoryboard::storyboardWithName(std::filesystem::path(d.file).stem().string(), bundle);
    storyboard->instantiateInitialViewController();
    storyboard->instantiateViewControllerWithIdentifier("X");
  }
}

class DamagedResource : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedResource, IsAProgrammingErrorNamingTheFileAndTheFault) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(readDamaged(GetParam()), GetParam().message);
}

const auto kTooDeep = "not valid JSON: .*nested too deeply";

INSTANTIATE_TEST_SUITE_P(
    Storyboards, DamagedResource,
    ::testing::Values(
        // numbers beyond what the property holds
        Damage{"S.storyboard", viewProperty("tag", "1e300"),
               R"(storyboard "S" \(.*S.storyboard\): scene "a", UIView property tag must be a whole number )"
               R"(within \[-2147483648, 2147483647\], not 1e\+300)"},
        Damage{"S.storyboard", viewProperty("tag", "2.5"), "property tag must be a whole number"},
        Damage{"S.storyboard", viewProperty("numberOfLines", "4294967296", "UILabel"),
               "property numberOfLines must be a whole number"},
        Damage{"S.storyboard", viewProperty("accessoryType", "-1e300", "UITableViewCell"),
               R"(property accessoryType must be a whole number within \[0, 3\])"},
        Damage{"S.storyboard", viewProperty("progress", "1e300", "UIProgressView"),
               R"(property progress must be a number within \[0, 1\])"},
        Damage{"S.storyboard",
               R"({"initialScene": "a", "scenes": [{"id": "a", "properties": {"modalPresentationStyle": 1e300}}]})",
               R"(scene "a", UIViewController property modalPresentationStyle must be a whole number within \[-2, 2\])"},
        Damage{"S.storyboard",
               R"({"initialScene": "a", "scenes": [{"id": "a", "properties": {"modalTransitionStyle": 3}}]})",
               R"(property modalTransitionStyle must be a whole number within \[0, 2\], not 3)"},
        // members of the wrong type
        Damage{"S.storyboard", R"({"scenes": [{"storyboardIdentifier": "X", "id": 5}]})",
               "a scene's id must be a text, not 5"},
        Damage{"S.storyboard", sceneWithView(R"({"class": "UITableView", "prototypes": [5]})"),
               "UITableView prototype must be an object, not 5"},
        Damage{"S.storyboard", sceneWithView(R"({"class": "UIButton", "actions": [5]})"),
               "UIButton action must be an object, not 5"},
        Damage{"S.storyboard", sceneWithView(R"({"constraints": [5]})"), "UIView constraint must be an object, not 5"},
        Damage{"S.storyboard", R"({"scenes": [{"id": "a"}, {"id": "a", "storyboardIdentifier": "X"}]})",
               R"(two scenes have the id "a")"},
        // nesting, and what a message quotes of a deep value
        Damage{"S.storyboard", viewProperty("backgroundColor", nested(100000, "[", "1", "]")), kTooDeep},
        Damage{"S.storyboard", sceneWithView(nested(20000, R"({"subviews": [)", "{}", "]}")), kTooDeep},
        Damage{"S.storyboard", sceneWithView(nested(40, R"({"subviews": [)", "{}", "]}")),
               "views nest deeper than 32"},
        Damage{"S.storyboard", viewProperty("backgroundColor", nested(300, "[", "1", "]")),
               R"(property backgroundColor must be a colour, not \[\[\[.*\.\.\.)"}));

INSTANTIATE_TEST_SUITE_P(
    Catalogues, DamagedResource,
    ::testing::Values(
        Damage{"images.json", R"({"a": {"size": [1, -2]}})",
               R"(image catalogue .*images.json: the image "a" height must be a number of at least 0, not -2)"},
        Damage{"colors.json", R"({"c": {"light": )" + nested(100000, "[", "1", "]") + "}}",
               std::string("colour catalogue .*colors.json: ") + kTooDeep}));

INSTANTIATE_TEST_SUITE_P(
    Information, DamagedResource,
    ::testing::Values(
        Damage{"Info.json", R"({"Build": 18446744073709551615})",
               R"(bundle information .*Info.json: "Build" must be a whole number within )"
               R"(\[-9223372036854775808, 9223372036854775807\])"},
        Damage{"Info.json", std::string(1 << 20, ' ') + "{}", "Info.json: .*is larger than 1048576 bytes"}));

}  // namespace
}  // namespace platform
