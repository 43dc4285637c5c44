#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/services/mail_compose.h"
#include "platform/services/number_formatter.h"
#include "platform/services/store_product.h"
#include "platform/testing/mail_testing.h"
#include "platform/testing/sandbox.h"
#include "platform/uikit/activity_view_controller.h"
#include "platform/uikit/application.h"
#include "platform/uikit/image.h"

namespace platform {
namespace {

TEST(NumberFormatter, ReadsOnlyWholeNumbersWithinSixtyFourBits) {
  struct Case {
    const char* text;
    std::optional<std::int64_t> number;
  } cases[] = {
      {"123", 123},
      {"1609457123", 1609457123},
      {"-42", -42},
      {"+7", 7},
      {"007", 7},
      {"9223372036854775807", INT64_MAX},
      {"-9223372036854775808", INT64_MIN},
      {"9223372036854775808", std::nullopt},
      {"", std::nullopt},
      {"+", std::nullopt},
      {"-", std::nullopt},
      {"+-1", std::nullopt},
      {"1,000", std::nullopt},
      {"1.5", std::nullopt},
      {" 12", std::nullopt},
      {"12 ", std::nullopt},
      {"abc", std::nullopt},
      {"12abc", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(NSNumberFormatter().numberFromString(c.text), c.number) << c.text;
}

class StandIns : public ::testing::Test {
 protected:
  testing::Sandbox sandbox{[] {
    testing::Sandbox::Options o;
    o.echoConsole = false;
    return o;
  }()};
};

TEST_F(StandIns, MailCapabilityComesFromTheDeviceProfile) {
  EXPECT_TRUE(MFMailComposeViewController::canSendMail());
  sandbox.device().updateProfile([](DeviceProfile& p) { p.canSendMail = false; });
  EXPECT_FALSE(MFMailComposeViewController::canSendMail());
}

TEST_F(StandIns, MailComposerReportsToItsDelegateWhileItLives) {
  struct Delegate : MFMailComposeViewControllerDelegate {
    void mailComposeController(MFMailComposeViewController&, MFMailComposeResult r,
                               const std::optional<Error>& e) override {
      result = r;
      error = e;
    }
    std::optional<MFMailComposeResult> result;
    std::optional<Error> error;
  };
  MFMailComposeViewController composer;
  composer.setToRecipients({"a@example.com"});
  composer.setSubject("Hi");
  composer.setMessageBody("<p>x</p>", true);
  EXPECT_EQ(composer.toRecipients(), std::vector<std::string>{"a@example.com"});
  EXPECT_TRUE(composer.isBodyHTML());
  auto delegate = std::make_shared<Delegate>();
  composer.setMailComposeDelegate(delegate);
  testing::finishMailCompose(composer, MFMailComposeResult::failed, Error{"MFMailComposeErrorDomain", 1, "x"});
  EXPECT_EQ(delegate->result, MFMailComposeResult::failed);
  ASSERT_TRUE(delegate->error);
  delegate.reset();
  EXPECT_EQ(composer.mailComposeDelegate(), nullptr);
  testing::finishMailCompose(composer, MFMailComposeResult::sent);  // nobody to tell
}

TEST_F(StandIns, ProductPageKeepsItsParametersAndCompletesOnTheMainQueue) {
  SKStoreProductViewController page;
  page.loadProductWithParameters({{SKStoreProductParameterITunesItemIdentifier, std::int64_t{123}}});
  ASSERT_TRUE(page.loadedParameters());
  EXPECT_EQ(page.loadedParameters()->at(SKStoreProductParameterITunesItemIdentifier),
            SKStoreProductViewController::ParameterValue(std::int64_t{123}));
  EXPECT_EQ(page.delegate(), nullptr);

  std::optional<bool> loaded;
  page.loadProductWithParameters({{SKStoreProductParameterITunesItemIdentifier, NSNull{}}},
                                 [&](bool ok, const std::optional<Error>& error) {
                                   loaded = ok;
                                   EXPECT_TRUE(error);
                                 });
  EXPECT_FALSE(loaded);
  sandbox.loop().runUntilIdle();
  EXPECT_EQ(loaded, false);
  EXPECT_EQ(page.loadCount(), 2);
}

TEST_F(StandIns, ShareSheetKeepsItsItemsAndPopoverSource) {
  auto url = *URL::parse("https://apps.apple.com/us/app/id123");
  UIActivityViewController sheet({url}, std::nullopt);
  ASSERT_EQ(sheet.activityItems().size(), 1u);
  EXPECT_EQ(std::get<URL>(sheet.activityItems()[0]), url);
  EXPECT_FALSE(sheet.applicationActivities());
  auto source = std::make_shared<UIView>(CGRectMake(0, 0, 300, 155));
  sheet.popoverPresentationController()->setSourceView(source);
  sheet.popoverPresentationController()->setSourceRect(source->bounds());
  EXPECT_EQ(sheet.popoverPresentationController()->sourceView(), source);
  EXPECT_EQ(sheet.popoverPresentationController()->sourceRect(), CGRectMake(0, 0, 300, 155));
}

TEST_F(StandIns, BitmapContextKeepsItsSizeScaleAndDrawsInOrder) {
  EXPECT_FALSE(UIGraphicsGetImageFromCurrentImageContext());
  auto tile = UIImage::systemImageNamed("app.fill", UIImageSymbolConfiguration::configurationWithPointSize(
                                                        32, UIImageSymbolWeight::regular));
  ASSERT_TRUE(tile);
  EXPECT_EQ(tile->symbolConfiguration()->weight, UIFontWeight::regular);
  UIGraphicsBeginImageContextWithOptions(tile->size(), false, 0);
  tile->drawInRect(CGRectMake(0, 0, 32, 32));
  UIGraphicsBeginImageContextWithOptions(CGSizeMake(4, 4), true, 2);  // nested: its own drawing
  tile->drawInRect(CGRectMake(1, 1, 2, 2));
  auto inner = UIGraphicsGetImageFromCurrentImageContext();
  UIGraphicsEndImageContext();
  tile->drawInRect(CGRectMake(8, 8, 16, 16));
  auto image = UIGraphicsGetImageFromCurrentImageContext();
  UIGraphicsEndImageContext();
  EXPECT_FALSE(UIGraphicsGetImageFromCurrentImageContext());

  ASSERT_TRUE(image && image->rendering());
  EXPECT_EQ(image->source(), UIImage::Source::rendered);
  EXPECT_EQ(image->size(), CGSizeMake(32, 32));
  EXPECT_FALSE(image->rendering()->opaque);
  EXPECT_EQ(image->rendering()->scale, UIScreen::mainScreen().scale());
  ASSERT_EQ(image->rendering()->draws.size(), 2u);
  EXPECT_EQ(image->rendering()->draws[1].rect, CGRectMake(8, 8, 16, 16));
  ASSERT_TRUE(inner && inner->rendering());
  EXPECT_TRUE(inner->rendering()->opaque);
  EXPECT_EQ(inner->rendering()->scale, 2);
  EXPECT_EQ(inner->rendering()->draws.size(), 1u);
}

}  // namespace
}  // namespace platform
