#include "shared_library/support/upgrade_utils.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/foundation/process.h"
#include "platform/services/safari_view_controller.h"
#include "platform/services/store_product.h"
#include "platform/testing/mail_testing.h"
#include "platform/testing/sandbox.h"
#include "platform/testing/ui_testing.h"
#include "platform/uikit/application.h"
#include "platform/uikit/navigation_controller.h"
#include "shared_library/support/lks_utils.h"

namespace {

using platform::MFMailComposeViewController;
using platform::UIAlertController;
using platform::UIViewController;
using platform::testing::canOpenURLQuestions;
using platform::testing::openedURLs;

class WindowDelegate : public platform::UIApplicationDelegate {
 public:
  bool didFinishLaunchingWithOptions(platform::UIApplication&,
                                     const std::optional<platform::UIApplicationLaunchOptions>&) override {
    return true;
  }
  bool respondsToWindow() const override { return true; }
  std::shared_ptr<platform::UIWindow> window() override { return window_; }
  std::shared_ptr<platform::UIWindow> window_;
};

class SupportActions : public ::testing::Test {
 protected:
  static platform::testing::Sandbox::Options options() {
    platform::testing::Sandbox::Options o;
    o.profile.systemVersion = "15.2";
    o.profile.identifierForVendor = "6F1C3A52-0B8E-4E21-9C3D-2A7B5E8F9D10";
    o.bundle.info["CFBundleDisplayName"] = platform::PlistValue("Demo");
    o.bundle.info["CFBundleShortVersionString"] = platform::PlistValue("1.3");
    o.echoConsole = false;
    return o;
  }
  explicit SupportActions(platform::testing::Sandbox::Options o = options()) { start(std::move(o)); }
  ~SupportActions() override {
    root.reset();
    window.reset();
    delegate.reset();
  }

  // A new device and process whose key window shows `root`.
  void start(platform::testing::Sandbox::Options o = options()) {
    root.reset();
    window.reset();
    delegate.reset();
    box.reset();
    box = std::make_unique<platform::testing::Sandbox>(std::move(o));
    delegate = std::make_shared<WindowDelegate>();
    window = std::make_shared<platform::UIWindow>(platform::UIScreen::mainScreen().bounds());
    root = std::make_shared<UIViewController>();
    delegate->window_ = window;
    platform::UIApplication::sharedApplication()->setDelegate(delegate);
    window->setRootViewController(root);
    window->makeKeyAndVisible();
  }
  platform::testing::Sandbox& sandbox() { return *box; }

  std::shared_ptr<UIViewController> shown() { return root->presentedViewController(); }
  template <class T>
  std::shared_ptr<T> shownAs() {
    return std::dynamic_pointer_cast<T>(shown());
  }

  std::unique_ptr<platform::testing::Sandbox> box;
  std::shared_ptr<WindowDelegate> delegate;
  std::shared_ptr<platform::UIWindow> window;
  std::shared_ptr<UIViewController> root;
};

TEST_F(SupportActions, WithNoSocialLinkTheSupportMailIsComposedWithoutAskingToOpenAnything) {
  UpgradeUtils::shared()->contactSupport();
  EXPECT_TRUE(canOpenURLQuestions().empty());
  auto mail = shownAs<MFMailComposeViewController>();
  ASSERT_TRUE(mail);
  EXPECT_EQ(mail->toRecipients(), std::vector<std::string>{"support@orvanevpn.com"});
  EXPECT_EQ(mail->subject(), "Demo | Support");
  EXPECT_TRUE(mail->isBodyHTML());
  const std::string head =
      "<br><br><br><hr><p style=\"font-family: Courier New, Courier, monospace;\">Your device information is "
      "included to help the developer track your feedback<br>OS:";
  EXPECT_EQ(head.size(), 157u);
  EXPECT_EQ(mail->messageBody(),
            head + "15.2<br>App Version:1.3<br>Device ID: 6F1C3A52-0B8E-4E21-9C3D-2A7B5E8F9D10<br></p>");
  EXPECT_EQ(mail->mailComposeDelegate(), UpgradeUtils::shared());

  platform::testing::finishMailCompose(*mail, platform::MFMailComposeResult::cancelled);
  sandbox().loop().runFor(1.0);
  EXPECT_EQ(shown(), nullptr);
}

TEST_F(SupportActions, AComposerFromAnotherInstanceStillReportsToTheSharedOne) {
  auto own = std::make_shared<UpgradeUtils>();
  own->contactSupport();
  auto mail = shownAs<MFMailComposeViewController>();
  ASSERT_TRUE(mail);
  own.reset();
  platform::testing::finishMailCompose(*mail, platform::MFMailComposeResult::sent);
  sandbox().loop().runFor(1.0);
  EXPECT_EQ(shown(), nullptr);
}

TEST_F(SupportActions, SocialLinkOnlyWhenItsSchemeOpensAndItsPageParses) {
  struct Case {
    const char* scheme;
    const char* page;
    bool openable;
    bool social;
  } cases[] = {
      {"fb://", "https://facebook.com/orvane", false, false},
      {"fb://", "", true, false},
      {"fb://", "not a page", true, false},
      {"", "https://facebook.com/orvane", true, false},
      {"fb://", "https://facebook.com/orvane", true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.scheme) + " " + c.page);
    start();
    UpgradeUtils::setContactSocialScheme(c.scheme);
    UpgradeUtils::setContactSocialID(c.page);
    platform::testing::scriptCanOpenURL("fb://", c.openable);
    UpgradeUtils::shared()->contactSupport();
    if (c.social) {
      EXPECT_EQ(openedURLs(), std::vector<std::string>{c.page});
      EXPECT_EQ(shown(), nullptr);
    } else {
      EXPECT_TRUE(openedURLs().empty());
      EXPECT_TRUE(shownAs<MFMailComposeViewController>());
    }
  }
}

TEST_F(SupportActions, WithoutMailAnAlertAsksToSetUpAnAccount) {
  sandbox().device().updateProfile([](platform::DeviceProfile& p) { p.canSendMail = false; });
  UpgradeUtils::shared()->contactSupport();
  auto alert = shownAs<UIAlertController>();
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->title(), "Setup Email Account");
  EXPECT_EQ(alert->message(),
            "Your email account has not been setup. Please setup an email account from settings to send email to the "
            "developer.");
  ASSERT_EQ(alert->actions().size(), 1u);
  EXPECT_EQ(alert->actions()[0].title, "OK");
  EXPECT_EQ(alert->actions()[0].style, platform::UIAlertActionStyle::cancel);
  EXPECT_FALSE(alert->actions()[0].handler);
}

class SupportMailPieces : public SupportActions {
 protected:
  static platform::testing::Sandbox::Options bare() {
    auto o = options();
    o.bundle.info.erase("CFBundleDisplayName");
    o.bundle.info.erase("CFBundleShortVersionString");
    return o;
  }
  SupportMailPieces() : SupportActions(bare()) {}
};

TEST_F(SupportMailPieces, MissingFactsLeaveTheirPiecesEmptyAndTheMailIsStillComposed) {
  UpgradeUtils::shared()->contactSupport();
  auto mail = shownAs<MFMailComposeViewController>();
  ASSERT_TRUE(mail);
  EXPECT_EQ(mail->subject(), "Support");
  EXPECT_NE(mail->messageBody().find("<br>App Version:<br>Device ID: "), std::string::npos);
}

TEST_F(SupportActions, HelpAlertOffersContactSupportThenCancel) {
  UpgradeUtils::shared()->showHelpAlertViewWithTitle("Trouble?", "We can help.");
  auto alert = shownAs<UIAlertController>();
  ASSERT_TRUE(alert);
  ASSERT_EQ(alert->actions().size(), 2u);
  EXPECT_EQ(alert->actions()[0].title, "Contact Support");
  EXPECT_EQ(alert->actions()[0].style, platform::UIAlertActionStyle::defaultStyle);
  EXPECT_EQ(alert->actions()[1].title, "Cancel");
  EXPECT_EQ(alert->actions()[1].style, platform::UIAlertActionStyle::cancel);
  platform::testing::tapAlertAction(*alert, "Contact Support");
  sandbox().loop().runFor(1.0);
  EXPECT_TRUE(shownAs<MFMailComposeViewController>());
}

TEST_F(SupportActions, PlainAlertRunsItsActionOnOK) {
  UpgradeUtils::showAlertViewWithTitle("T", "M");
  auto alert = shownAs<UIAlertController>();
  ASSERT_TRUE(alert);
  platform::testing::tapAlertAction(*alert, "OK");
  sandbox().loop().runFor(1.0);
  EXPECT_EQ(shown(), nullptr);
  int ran = 0;
  UpgradeUtils::showAlertViewWithTitle("T", "M", [&](const platform::UIAlertAction& a) {
    ++ran;
    EXPECT_EQ(a.title, "OK");
  });
  platform::testing::tapAlertAction(*shownAs<UIAlertController>(), "OK");
  EXPECT_EQ(ran, 1);
}

TEST_F(SupportActions, WebPagesOnlyForWebAddresses) {
  for (const char* address : {"", "no address", "ftp://example.com/x", "mailto:a@example.com"}) {
    UpgradeUtils::openWebPageWithWebpageUrl(address);
    EXPECT_EQ(shown(), nullptr) << address;
  }
  UpgradeUtils::openWebPageWithWebpageUrl("Https://www.example.com/page");
  auto page = shownAs<platform::SFSafariViewController>();
  ASSERT_TRUE(page);
  EXPECT_EQ(page->url().absoluteString(), "Https://www.example.com/page");
  EXPECT_TRUE(page->configuration().entersReaderIfAvailable);
}

TEST_F(SupportActions, OpenAppOpensAValidAddressUnaskedAndSaysSo) {
  UpgradeUtils::openApp(std::nullopt);
  UpgradeUtils::openApp("not an address");
  EXPECT_TRUE(openedURLs().empty());
  UpgradeUtils::openApp("otherapp://open?x=1");
  EXPECT_EQ(openedURLs(), std::vector<std::string>{"otherapp://open?x=1"});
  EXPECT_TRUE(canOpenURLQuestions().empty());
  const auto lines = platform::Process::current().consoleLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Opened otherapp://open?x=1"), lines.end());
}

TEST_F(SupportActions, StorePageIsPresentedAtOnceWithTheIdentifierAsANumberOrNull) {
  using Value = platform::SKStoreProductViewController::ParameterValue;
  UpgradeUtils::openAppStorePageOfApp(std::nullopt);
  EXPECT_EQ(shown(), nullptr);
  struct Case {
    const char* identifier;
    Value value;
  } cases[] = {{"123", Value(std::int64_t{123})}, {"abc", Value(platform::NSNull{})}, {"", Value(platform::NSNull{})}};
  for (const auto& c : cases) {
    UpgradeUtils::openAppStorePageOfApp(c.identifier);
    auto store = shownAs<platform::SKStoreProductViewController>();
    ASSERT_TRUE(store) << c.identifier;
    ASSERT_TRUE(store->loadedParameters());
    EXPECT_EQ(store->loadedParameters()->at(platform::SKStoreProductParameterITunesItemIdentifier), c.value);
    EXPECT_EQ(store->delegate(), nullptr);
    root->dismiss(false);
  }
}

TEST_F(SupportActions, TopMostIsTheEndOfThePresentedChainWithoutUnwrapping) {
  auto child = std::make_shared<UIViewController>();
  auto navigation = std::make_shared<platform::UINavigationController>();
  navigation->setViewControllers({std::make_shared<UIViewController>(), child});
  root->present(navigation, false);
  EXPECT_EQ(UpgradeUtils::topMostController(), navigation);
  EXPECT_EQ(LKSUtils::getTopMostViewController(), child);
  auto above = std::make_shared<UIViewController>();
  navigation->present(above, false);
  EXPECT_EQ(UpgradeUtils::topMostController(), above);
  EXPECT_EQ(LKSUtils::getTopMostViewController(), above);
}

TEST_F(SupportActions, WithoutAKeyWindowEverythingGoesToADetachedController) {
  window->setRootViewController(nullptr);
  auto detached = UpgradeUtils::topMostController();
  ASSERT_TRUE(detached);
  EXPECT_FALSE(detached->isInWindowHierarchy());
  EXPECT_NE(UpgradeUtils::topMostController(), detached);  // a new one each time
  UpgradeUtils::shared()->contactSupport();
  UpgradeUtils::openWebPageWithWebpageUrl("https://www.example.com");
  EXPECT_EQ(shown(), nullptr);
  EXPECT_TRUE(platform::testing::presentations().empty());
}

}  // namespace
