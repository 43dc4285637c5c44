#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/network/url.h"

namespace platform {
namespace {

struct Parts {
  std::string text;
  std::string scheme;
  std::optional<std::string> host;
  std::optional<int> port;
  std::string path;
  std::optional<std::string> query;
  std::optional<std::string> fragment;
};

TEST(URLParse, AcceptsAbsoluteURLsAndSplitsThemIntoParts) {
  const Parts cases[] = {
      {"https://api.example.com/data/server/", "https", "api.example.com", {}, "/data/server/", {}, {}},
      {"https://127.0.0.1:8443/lookup?id=123&x=%2F#top", "https", "127.0.0.1", 8443, "/lookup", "id=123&x=%2F", "top"},
      {"HTTPS://User:pw@Host.Example:0", "HTTPS", "Host.Example", 0, "", {}, {}},
      {"https://[::1]:65535/a", "https", "::1", 65535, "/a", {}, {}},
      {"https://h:/p", "https", "h", {}, "/p", {}, {}},  // an empty port is no port
      {"https://h/?", "https", "h", {}, "/", "", {}},    // an empty query is kept apart from none
      {"https://h/a#", "https", "h", {}, "/a", {}, ""},
      {"https://h/a?b?c/d:@#e?/", "https", "h", {}, "/a", "b?c/d:@", "e?/"},
      {"fb://", "fb", "", {}, "", {}, {}},
      {"fb://profile/42", "fb", "profile", {}, "/42", {}, {}},
      {"app-settings:", "app-settings", {}, {}, "", {}, {}},
      {"mailto:support@example.com", "mailto", {}, {}, "support@example.com", {}, {}},
      {"itms-apps+x.y:id~!$&'()*+,;=", "itms-apps+x.y", {}, {}, "id~!$&'()*+,;=", {}, {}},
      {"file:///opt/resources/LKSCommon.bundle", "file", "", {}, "/opt/resources/LKSCommon.bundle", {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto url = URL::parse(c.text);
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(url->absoluteString(), c.text);
    EXPECT_EQ(url->scheme(), c.scheme);
    EXPECT_EQ(url->host(), c.host);
    EXPECT_EQ(url->port(), c.port);
    EXPECT_EQ(url->path(), c.path);
    EXPECT_EQ(url->query(), c.query);
    EXPECT_EQ(url->fragment(), c.fragment);
    EXPECT_EQ(URL::URLWithString(c.text), url);  // the platform's name, the same rule
  }
}

TEST(URLParse, RefusesTextThatIsNotAnAbsoluteURL) {
  const std::string cases[] = {
      "",
      " ",
      "https://h/a b",
      " https://h/",
      "https://h/\t",
      "https://h/\n",
      std::string("https://h/\0x", 12),
      "https://h/\x7f",
      "https://h/caf\xc3\xa9",
      "https://h/<", "https://h/>", "https://h/\"", "https://h/{", "https://h/}",
      "https://h/|", "https://h/\\", "https://h/^", "https://h/`",
      "https://h/%", "https://h/%4", "https://h/%4g", "https://h/%zz",
      "%68ttps://h/",
      "no-scheme/path",
      "/absolute/path",
      "://h",
      "1https://h/",
      "ht_tp://h/",
      "https://h:65536/",
      "https://h:99999999999999999999/",
      "https://h:8a/",
      "https://h:-1/",
      "https://a@b@h/",
      "https://h/#a#b",
      "https://h/[x]",
      "https://h/?[x]",
      "https://[zz]/",
      "https://[::1/",
      "https://[::1]x/",
      "https://h[1]/",
  };
  for (const auto& text : cases) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(URL::parse(text).has_value());
  }
}

TEST(URLAppendingPathComponent, AddsOneSegmentAndKeepsTheRest) {
  struct Case {
    std::string base, component, expected;
  };
  const Case cases[] = {
      {"https://h", "data", "https://h/data"},
      {"https://h/", "data", "https://h/data"},
      {"https://h/data", "server/", "https://h/data/server/"},
      {"https://h/data/", "/server", "https://h/data/server"},
      {"https://h/a?x=1#f", "b", "https://h/a/b?x=1#f"},
      {"file:///res/LKSCommon.bundle", "Images/icon.png", "file:///res/LKSCommon.bundle/Images/icon.png"},
      {"https://h/a", "b c%?#[é", "https://h/a/b%20c%25%3F%23%5B%C3%A9"},
      {"https://h/a", "", "https://h/a"},
      {"app-settings:", "//x", "app-settings:x"},  // no authority appears out of a path
      {"https://h/p", "/x", "https://h/p/x"},
      {"https://h/p", "//x/y", "https://h/p/x/y"},
      {"https://h/p?q=1", "/x", "https://h/p/x?q=1"},
      {"https://h/p", "/", "https://h/p/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.base + " + " + c.component);
    auto base = URL::parse(c.base);
    ASSERT_TRUE(base.has_value());
    const URL result = base->appendingPathComponent(c.component);
    EXPECT_EQ(result.absoluteString(), c.expected);
    EXPECT_EQ(URL::parse(result.absoluteString()), result);
    EXPECT_EQ(result.query(), base->query());
  }
}

}  // namespace
}  // namespace platform
