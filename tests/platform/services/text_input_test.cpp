#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/services/image_downloader.h"
#include "platform/services/text_view.h"
#include "platform/testing/image_downloader_testing.h"
#include "platform/testing/sandbox.h"
#include "platform/testing/text_input_testing.h"
#include "platform/uikit/text_measure.h"
#include "platform/uikit/transform3d.h"
#include "platform/uikit/view.h"

namespace platform {
namespace {

class CountingDelegate : public UITextViewDelegate {
 public:
  void textViewDidChangeSelection(UITextView& view) override {
    ++notices;
    if (pin) view.setSelectedTextRange({{0}, {0}});
  }
  int notices = 0;
  bool pin = false;
};

class StandInTest : public ::testing::Test {
 protected:
  testing::Sandbox sandbox;
};

TEST_F(StandInTest, TextViewKeepsUTF16AndNotifiesOnlyRealSelectionChanges) {
  auto view = std::make_shared<UITextView>();
  auto delegate = std::make_shared<CountingDelegate>();
  view->setDelegate(delegate);
  view->setText("é😀");
  EXPECT_EQ(view->utf16Text().size(), 3u);
  EXPECT_EQ(view->selectedTextRange().start.offset, 3u);
  EXPECT_EQ(delegate->notices, 1);
  view->setSelectedTextRange({{3}, {3}});
  EXPECT_EQ(delegate->notices, 1);
  // A handler that puts the caret back ends after one more notice.
  delegate->pin = true;
  testing::tapText(*view, 2);
  EXPECT_EQ(view->selectedTextRange().start.offset, 0u);
  EXPECT_EQ(delegate->notices, 3);
  EXPECT_TRUE(testing::typeText(*view, {3, 0}, "x"));
  EXPECT_EQ(view->text(), "é😀x");
  EXPECT_EQ(toUTF8(toUTF16("a\xff")), "a\xEF\xBF\xBD");
}

TEST_F(StandInTest, RotationThenTranslationMirrorsWithinTheSquare) {
  const auto t = CATransform3DTranslate(CATransform3DMakeRotation(3.141592653589793, 0, 1, 0), -20, 0, 0);
  EXPECT_NEAR(t.m11, -1, 1e-12);
  EXPECT_NEAR(t.m33, -1, 1e-12);
  EXPECT_NEAR(t.m41, 20, 1e-12);
  CALayer layer;
  layer.anchorPoint = {0, 0};
  layer.bounds = CGRectMake(0, 0, 5, 20);
  layer.position = {10, 2};
  layer.transform = t;
  const auto frame = layer.frameInSuperlayer();
  EXPECT_NEAR(frame.origin.x, 25, 1e-9);
  EXPECT_NEAR(frame.size.width, 5, 1e-9);
  EXPECT_NEAR(frame.origin.y, 2, 1e-9);
  CALayer centred;
  centred.bounds = CGRectMake(0, 0, 10, 10);
  centred.position = {5, 5};
  EXPECT_EQ(centred.frameInSuperlayer(), CGRectMake(0, 0, 10, 10));
}

TEST_F(StandInTest, DownloaderWithoutAddressCallsBackWithNothing) {
  int calls = 0;
  ImageDownloader::shared().load(std::nullopt, {}, [&](UIImageRef image) {
    ++calls;
    EXPECT_FALSE(image);
  });
  EXPECT_EQ(calls, 1);
  ASSERT_EQ(testing::imageLoads().size(), 1u);
  EXPECT_EQ(testing::imageLoads()[0].url, std::nullopt);
  EXPECT_EQ(testing::deliverImage("https://x.example/a.png", nullptr), 0u);
}

// Loads nothing delivers must not pile up: a view holds one load, and a view that goes takes its
// load with it.
TEST_F(StandInTest, DownloaderHoldsOneLoadAViewAndDropsTheLoadsOfViewsThatAreGone) {
  auto first = std::make_shared<UIImageView>();
  auto second = std::make_shared<UIImageView>();
  int firstCalls = 0, secondCalls = 0;
  for (int i = 0; i < 20; ++i)
    ImageDownloader::shared().load(URL::URLWithString("https://x.example/a.png"), first,
                                   [&](UIImageRef) { ++firstCalls; });
  ImageDownloader::shared().load(URL::URLWithString("https://x.example/b.png"), second,
                                 [&](UIImageRef) { ++secondCalls; });
  EXPECT_EQ(testing::imageLoads().size(), 2u);
  EXPECT_EQ(testing::deliverImage("https://x.example/a.png", nullptr), 1u);
  EXPECT_EQ(firstCalls, 1);

  // the view's next load replaces the one before, delivered or not; the replaced one never calls back
  ImageDownloader::shared().load(URL::URLWithString("https://x.example/c.png"), second,
                                 [&](UIImageRef) { ++secondCalls; });
  EXPECT_EQ(testing::deliverImage("https://x.example/b.png", nullptr), 0u);
  second.reset();
  ImageDownloader::shared().load(URL::URLWithString("https://x.example/a.png"), first,
                                 [&](UIImageRef) { ++firstCalls; });
  ASSERT_EQ(testing::imageLoads().size(), 1u);
  EXPECT_EQ(testing::imageLoads()[0].url, "https://x.example/a.png");
  EXPECT_EQ(testing::deliverImage("https://x.example/c.png", nullptr), 0u);
  EXPECT_EQ(secondCalls, 0);
  EXPECT_EQ(testing::deliverImage("https://x.example/a.png", nullptr), 1u);
  EXPECT_EQ(firstCalls, 2);
}

TEST_F(StandInTest, PasteboardAndTextMeasure) {
  UIPasteboard::generalPasteboard().setString("copy");
  EXPECT_EQ(UIPasteboard::generalPasteboard().string(), "copy");
  EXPECT_EQ(sizeWithFont("ab", UIFont::systemFontOfSize(10)), CGSizeMake(10, 12));
  EXPECT_EQ(sizeWithFont("", UIFont::systemFontOfSize(10)), CGSizeMake(0, 0));
}

}  // namespace
}  // namespace platform
