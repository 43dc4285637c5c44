#include "app/servers_view_controller.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/server_cells.h"
#include "platform/testing/ui_testing.h"
#include "tests/app/screen_fixture.h"
#include "vpn_core/tunnel_manager.h"

namespace {

using app_testing::premiumList;
using app_testing::ServerSpec;
using platform::NSIndexPath;
using platform::UILabel;

// Remembers every pick it is told of.
class PickRecorder : public ServersViewControllerDelegate {
 public:
  void didSelectServer(std::shared_ptr<VPNServer> server) override { picks.push_back(std::move(server)); }
  std::vector<std::shared_ptr<VPNServer>> picks;
};

std::string imageName(const platform::UIImageRef& image) { return image.requestedName().value_or("(none)"); }

class ServerPicker : public ::testing::Test {
 protected:
  explicit ServerPicker(platform::DeviceProfile profile = {}) : sandbox(options(profile)) {
    registerStoryboardClasses();
    window = app_testing::showInWindow(root);
  }
  ~ServerPicker() override { window.reset(); }
  static platform::testing::Sandbox::Options options(platform::DeviceProfile profile) {
    platform::testing::Sandbox::Options o;
    o.profile = std::move(profile);
    return app_testing::withResources(std::move(o));
  }

  VPNServerList load(const std::vector<ServerSpec>& servers = app_testing::threeServers()) {
    VPNServerManager::shared()->parseServers(premiumList(servers).dump());
    return VPNServerManager::shared()->premiumVPNServersArray();
  }
  // The picker as the home screen shows it, with `delegate` when given.
  std::shared_ptr<ServersViewController> open(const std::shared_ptr<ServersViewControllerDelegate>& delegate = nullptr) {
    auto picker = std::dynamic_pointer_cast<ServersViewController>(
        platform::UIStoryboard::storyboardWithName("Servers")->instantiateViewControllerWithIdentifier(
            "ServersViewController"));
    EXPECT_TRUE(picker);
    picker->serverDelegate = delegate;
    root->present(picker, false);
    return picker;
  }
  std::shared_ptr<platform::UITableView> table(const ServersViewController& p) { return p.serversTableView.lock(); }
  std::shared_ptr<ServerTableViewCell> autoRow(const ServersViewController& p) {
    return std::dynamic_pointer_cast<ServerTableViewCell>(table(p)->cellForRowAtIndexPath({0, 0}));
  }
  std::shared_ptr<ServerListTableViewCell> listRow(const ServersViewController& p, int row) {
    return std::dynamic_pointer_cast<ServerListTableViewCell>(table(p)->cellForRowAtIndexPath({1, row}));
  }
  static int autoMarks(const VPNServerList& servers) {
    int n = 0;
    for (const auto& s : servers) n += s->isAutoSelect();
    return n;
  }

  platform::testing::Sandbox sandbox;
  std::shared_ptr<platform::UIViewController> root = std::make_shared<platform::UIViewController>();
  std::shared_ptr<platform::UIWindow> window;
};

TEST_F(ServerPicker, SectionsHeadersAndFooters) {
  load();
  const auto picker = open();
  const auto t = table(*picker);
  EXPECT_EQ(picker->preferredStatusBarStyle(), platform::UIStatusBarStyle::darkContent);
  EXPECT_EQ(t->sectionHeaderTopPadding(), 15);  // a system of 15.0 or later
  ASSERT_EQ(t->numberOfSections(), 2);
  EXPECT_EQ(t->numberOfRowsInSection(0), 1);
  EXPECT_EQ(t->numberOfRowsInSection(1), 3);

  const platform::UIColor blue{147 / 255.0, 167 / 255.0, 200 / 255.0, 1};
  struct Label {
    std::string text;
    platform::CGRect frame;
    double size, alpha;
  };
  const std::vector<std::vector<Label>> headers{
      {{"Auto Select", platform::CGRectMake(20, 5, 200, 20), 14, 1},
       {"( High Performance Server )", platform::CGRectMake(100, 5, 250, 20), 12, 0.6}},
      {{"Servers", platform::CGRectMake(20, 5, 200, 20), 14, 1}}};
  for (int s = 0; s < 2; ++s) {
    SCOPED_TRACE(s);
    const auto header = t->headerViewForSection(s);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->backgroundColor(), platform::UIColor::whiteColor());
    EXPECT_EQ(t->heightForHeader(s), 30);
    const auto& expected = headers[static_cast<size_t>(s)];
    ASSERT_EQ(header->subviews().size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      const auto label = std::dynamic_pointer_cast<UILabel>(header->subviews()[i]);
      ASSERT_TRUE(label);
      EXPECT_EQ(label->text(), expected[i].text);
      EXPECT_EQ(label->frame(), expected[i].frame);
      EXPECT_EQ(label->font(), platform::UIFont::systemFontOfSize(expected[i].size));
      EXPECT_EQ(label->textColor(), (platform::UIColor{blue.red(), blue.green(), blue.blue(), expected[i].alpha}));
    }
    const auto footer = t->footerViewForSection(s);
    ASSERT_TRUE(footer);
    EXPECT_EQ(footer->backgroundColor(), platform::UIColor::whiteColor());
    EXPECT_TRUE(footer->subviews().empty());
    EXPECT_EQ(t->heightForFooter(s), 0.1);
  }
  // indexes the screen no longer has give an empty header and an unconfigured cell
  EXPECT_TRUE(picker->viewForHeaderInSection(*t, 5)->subviews().empty());
  const auto stray = std::dynamic_pointer_cast<ServerTableViewCell>(picker->cellForRowAtIndexPath(*t, {7, 0}));
  ASSERT_TRUE(stray);
  EXPECT_EQ(stray->serverNameLabel.lock()->text(), std::nullopt);
}

class OlderSystemPicker : public ServerPicker {
 protected:
  static platform::DeviceProfile older() {
    platform::DeviceProfile p;
    p.systemVersion = "14.8";
    return p;
  }
  OlderSystemPicker() : ServerPicker(older()) {}
};

TEST_F(OlderSystemPicker, KeepsTheTablesHeaderPadding) {
  load();
  EXPECT_EQ(table(*open())->sectionHeaderTopPadding(), 0);
}

TEST_F(ServerPicker, OpeningMarksOneServerWithAnAddressAndKeepsTheListAsItWas) {
  const auto servers = load({{"FR", "France", "Paris", ""}, {"NL", "Netherlands", "Amsterdam", "nl-1.test"}});
  for (int i = 0; i < 8; ++i) {
    servers[1]->setIsAutoSelect(false);
    const auto picker = open();
    EXPECT_EQ(autoMarks(servers), 1);
    EXPECT_TRUE(servers[1]->isAutoSelect());
    picker->cancelButtonPressed();
    sandbox.loop().runFor(1);
  }
  const auto picker = open();
  load({{"JP", "Japan", "Tokyo", "jp-1.test"}});  // arrives while the picker shows
  picker->serversTableView.lock()->reloadData();
  EXPECT_EQ(table(*picker)->numberOfRowsInSection(1), 2);
}

TEST_F(ServerPicker, ListRowsShowTheirServerAndTickTheCurrentRecordOnly) {
  const auto servers = load({{"US", "United States", "New York", "us-1.test"},
                             {"", "Nowhere", "", "us-1.test"},
                             {"DE", "Germany", "Frankfurt", "de-1.test"}});
  VPNConnectionManager::shared()->setCurrentServer(servers[0]);
  const auto picker = open();
  struct Row {
    std::string name, flag, title, tick;
  };
  const std::vector<Row> expected{{"United States", "US", "New York 1", "tic-selected"},
                                  {"Nowhere", "", "", "tic-unselected"},  // same address, another record
                                  {"Germany", "DE", "Frankfurt 1", "tic-unselected"}};
  for (int r = 0; r < 3; ++r) {
    SCOPED_TRACE(r);
    const auto cell = listRow(*picker, r);
    ASSERT_TRUE(cell);
    const auto& e = expected[static_cast<size_t>(r)];
    EXPECT_EQ(cell->serverNameLabel.lock()->text().value_or(""), e.name);
    EXPECT_EQ(imageName(cell->serverLogoImageView.lock()->image()), e.flag);
    EXPECT_FALSE(cell->serverLogoImageView.lock()->image().found() && e.flag.empty());
    EXPECT_EQ(cell->cityNameLabel.lock()->text().value_or(""), e.title);
    EXPECT_EQ(imageName(cell->tickStatusImage.lock()->image()), e.tick);
  }
  // none leaves a reused cell as it was
  const auto cell = listRow(*picker, 0);
  cell->configure(nullptr);
  EXPECT_EQ(cell->serverNameLabel.lock()->text(), "United States");
}

TEST_F(ServerPicker, AutoRowByCurrentServer) {
  const auto servers = load();
  struct Case {
    const char* name;
    std::shared_ptr<VPNServer> current;
    bool autoSelect;
    std::string label, flag, city, tick;
  };
  const std::vector<Case> cases{
      {"no server", nullptr, false, "Fastest Server", "globe", "", "tic-selected"},
      {"picked by the user", servers[1], false, "Fastest Server", "globe", "", "tic-unselected"},
      {"picked automatically", servers[1], true, "Germany", "DE", "Frankfurt", "tic-selected"},
  };
  const auto picker = open();
  const auto cell = autoRow(*picker);
  ASSERT_TRUE(cell);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.current) c.current->setIsAutoSelect(c.autoSelect);
    cell->configure(c.current);
    EXPECT_EQ(cell->serverNameLabel.lock()->text(), c.label);
    EXPECT_EQ(imageName(cell->serverLogoImageView.lock()->image()), c.flag);
    EXPECT_EQ(cell->cityName.lock()->text(), c.city);
    EXPECT_EQ(imageName(cell->tickStatusImage.lock()->image()), c.tick);
  }
}

TEST_F(ServerPicker, TheRandomMarkOnTheCurrentServerNamesItInTheAutoRow) {
  const auto servers = load({{"NL", "Netherlands", "Amsterdam", "nl-1.test"}});
  VPNConnectionManager::shared()->setCurrentServer(servers[0]);  // picked by the user
  const auto picker = open();
  EXPECT_TRUE(servers[0]->isAutoSelect());
  EXPECT_EQ(autoRow(*picker)->serverNameLabel.lock()->text(), "Netherlands");
  EXPECT_EQ(imageName(autoRow(*picker)->tickStatusImage.lock()->image()), "tic-selected");
  EXPECT_EQ(imageName(listRow(*picker, 0)->tickStatusImage.lock()->image()), "tic-selected");
}

TEST_F(ServerPicker, PickingAListRowHandsItOverUnmarkedAndCloses) {
  const auto servers = load();
  auto recorder = std::make_shared<PickRecorder>();
  const auto picker = open(recorder);
  servers[2]->setIsAutoSelect(true);
  const auto reloads = table(*picker)->reloadCount();
  platform::testing::tapRow(*table(*picker), {1, 2});
  ASSERT_EQ(recorder->picks.size(), 1u);
  EXPECT_EQ(recorder->picks[0], servers[2]);
  EXPECT_FALSE(servers[2]->isAutoSelect());
  EXPECT_EQ(table(*picker)->reloadCount(), reloads + 1);
  EXPECT_TRUE(picker->isBeingDismissed());
  sandbox.loop().runFor(1);
  EXPECT_EQ(root->presentedViewController(), nullptr);
}

TEST_F(ServerPicker, PickingAutoSelectDrawsAMarkedServerWithAnAddress) {
  const auto servers = load({{"FR", "France", "Paris", ""}, {"NL", "Netherlands", "Amsterdam", "nl-1.test"}});
  auto recorder = std::make_shared<PickRecorder>();
  for (int i = 0; i < 6; ++i) {
    const auto picker = open(recorder);
    servers[1]->setIsAutoSelect(false);
    platform::testing::tapRow(*table(*picker), {0, 0});
    sandbox.loop().runFor(1);
  }
  ASSERT_EQ(recorder->picks.size(), 6u);
  for (const auto& pick : recorder->picks) EXPECT_EQ(pick, servers[1]);
  EXPECT_TRUE(servers[1]->isAutoSelect());
}

TEST_F(ServerPicker, AutoSelectBeforeTheListArrivesPicksNone) {
  auto recorder = std::make_shared<PickRecorder>();
  const auto picker = open(recorder);
  EXPECT_EQ(table(*picker)->numberOfRowsInSection(1), 0);
  platform::testing::tapRow(*table(*picker), {0, 0});
  ASSERT_EQ(recorder->picks.size(), 1u);
  EXPECT_EQ(recorder->picks[0], nullptr);
  EXPECT_TRUE(picker->isBeingDismissed());
}

TEST_F(ServerPicker, WithoutADelegateAPickStillMarksAndCloses) {
  const auto servers = load();
  auto recorder = std::make_shared<PickRecorder>();
  const auto picker = open(recorder);
  recorder.reset();
  servers[0]->setIsAutoSelect(true);
  platform::testing::tapRow(*table(*picker), {1, 0});
  EXPECT_FALSE(servers[0]->isAutoSelect());
  EXPECT_TRUE(picker->isBeingDismissed());
}

TEST_F(ServerPicker, CancelClosesAndTellsNobody) {
  const auto servers = load();
  auto recorder = std::make_shared<PickRecorder>();
  const auto picker = open(recorder);
  const int marks = autoMarks(servers);
  picker->cancelButtonPressed();
  sandbox.loop().runFor(1);
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_TRUE(recorder->picks.empty());
  EXPECT_EQ(autoMarks(servers), marks);
  EXPECT_EQ(VPNConnectionManager::shared()->currentServer(), nullptr);
}

}  // namespace
