#include "shared_library/reviews/review_screens.h"

#include <mutex>

#include "platform/foundation/console.h"
#include "platform/network/url.h"
#include "platform/uikit/application.h"
#include "platform/uikit/storyboard.h"
#include "platform/uikit/text_measure.h"
#include "shared_library/settings/settings_screen.h"
#include "shared_library/support/lks_deployment.h"
#include "shared_library/support/upgrade_utils.h"

using platform::UIColor;

namespace {

constexpr const char kWriteReviewQuery[] = "?action=write-review";

template <class T>
std::shared_ptr<T> instantiate(const std::shared_ptr<platform::UIStoryboard>& storyboard, const char* identifier) {
  if (!storyboard) platform::fatalError(std::string("no storyboard to find ") + identifier + " in");
  auto screen = std::dynamic_pointer_cast<T>(storyboard->instantiateViewControllerWithIdentifier(identifier));
  if (!screen) platform::fatalError(std::string("the scene ") + identifier + " is of another class");
  return screen;
}

bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

void registerReviewScreens() {
  static std::once_flag once;
  std::call_once(once, [] {
    platform::UIStoryboard::registerViewControllerClass<RatingPopUpController>("RatingPopUpController");
    platform::UIStoryboard::registerViewControllerClass<WriteReviewController>("WriteReviewController");
    platform::UIStoryboard::registerViewControllerClass<ShareReviewController>("ShareReviewController");
    platform::UIStoryboard::registerViewClass<platform::UITextView>("UITextView");
  });
}

void RatingPopUpController::connectOutlets(platform::OutletConnector& c) {
  UIViewController::connectOutlets(c);
  c.outlet("popUpView", popUpView);
  c.action("emptyScreenTapped", this, &RatingPopUpController::emptyScreenTapped);
  c.action("loveItButtonPressed", this, &RatingPopUpController::loveItButtonPressed);
  c.action("hateItButtonPressed", this, &RatingPopUpController::hateItButtonPressed);
  c.action("crossButtonPressed", this, &RatingPopUpController::crossButtonPressed);
}

void RatingPopUpController::viewDidLoad() {
  UIViewController::viewDidLoad();
  auto card = popUpView.lock();
  if (!card) return;
  auto& layer = card->layer();
  layer.borderWidth = 2.0;
  layer.borderColor = UIColor::orangeColor();
  layer.cornerRadius = 14.0;
  layer.masksToBounds = true;
}

void RatingPopUpController::emptyScreenTapped(platform::UIControl&) { dismiss(true); }

void RatingPopUpController::crossButtonPressed(platform::UIControl&) { dismiss(true); }

void RatingPopUpController::hateItButtonPressed(platform::UIControl&) {}

void RatingPopUpController::loveItButtonPressed(platform::UIControl&) {
  // The completion runs after the card has gone, so it keeps what it needs, not the card.
  auto board = storyboard();
  std::optional<std::string> id;
  if (!appID.empty()) id = appID;
  dismiss(false, [board, id] {
    auto entry = instantiate<WriteReviewController>(board, "WriteReviewController");
    entry->appID = id;
    UpgradeUtils::topMostController()->present(entry, true);
  });
}

void WriteReviewController::connectOutlets(platform::OutletConnector& c) {
  UIViewController::connectOutlets(c);
  c.outlet("textView", textView);
  c.action("crossButtonPressed", this, &WriteReviewController::crossButtonPressed);
  c.action("sendButtonPressed", this, &WriteReviewController::sendButtonPressed);
}

void WriteReviewController::showPlaceholder(platform::UITextView& view) {
  view.setText(kPlaceholder);
  view.setTextColor(UIColor::lightGrayColor());
  view.setSelectedTextRange({view.beginningOfDocument(), view.beginningOfDocument()});
}

void WriteReviewController::viewDidLoad() {
  UIViewController::viewDidLoad();
  auto view = textView.lock();
  if (!view) return;
  view->setDelegate(std::static_pointer_cast<WriteReviewController>(shared_from_this()));
  view->setText(kPlaceholder);
  view->setTextColor(UIColor::lightGrayColor());
  view->becomeFirstResponder();
  if (auto start = view->textRangeFromPosition(view->beginningOfDocument(), view->beginningOfDocument()))
    view->setSelectedTextRange(*start);
}

void WriteReviewController::textViewDidChangeSelection(platform::UITextView& view) {
  if (!this->view()->window()) return;
  if (view.textColor() == UIColor::lightGrayColor())
    view.setSelectedTextRange({view.beginningOfDocument(), view.beginningOfDocument()});
}

bool WriteReviewController::textViewShouldChangeTextInRange(platform::UITextView& view, platform::NSRange range,
                                                            const std::string& replacement) {
  const auto& text = view.utf16Text();
  if (range.location > text.size() || range.length > text.size() - range.location) return false;
  const size_t end = range.location + range.length;
  // A range that ends or starts inside a surrogate pair would leave half a character.
  if (range.location > 0 && range.location < text.size() && isHighSurrogate(text[range.location - 1]) &&
      isLowSurrogate(text[range.location]))
    return false;
  if (end > 0 && end < text.size() && isHighSurrogate(text[end - 1]) && isLowSurrogate(text[end])) return false;
  const bool placeholder = view.textColor() == UIColor::lightGrayColor();
  auto changed = text;
  changed.replace(range.location, range.length, platform::toUTF16(replacement));
  if (changed.empty()) {
    showPlaceholder(view);
    return false;
  }
  if (placeholder) {
    if (replacement.empty()) return false;
    view.setTextColor(UIColor::whiteColor());
    view.setText(replacement);
    return false;
  }
  return true;
}

void WriteReviewController::crossButtonPressed(platform::UIControl&) { dismiss(true); }

void WriteReviewController::sendButtonPressed(platform::UIControl&) {
  auto share = instantiate<ShareReviewController>(storyboard(), "ShareReviewController");
  share->appID = appID;
  std::optional<std::string> review;
  if (auto view = textView.lock()) review = view->text() == kPlaceholder ? std::string() : view->text();
  share->reviewText = review;
  present(share, true);
}

void ShareReviewController::connectOutlets(platform::OutletConnector& c) {
  UIViewController::connectOutlets(c);
  c.outlet("reviewLabel", reviewLabel);
  c.action("crossButtonPressed", this, &ShareReviewController::crossButtonPressed);
  c.action("shareButtonPressed", this, &ShareReviewController::shareButtonPressed);
}

void ShareReviewController::viewDidLoad() {
  UIViewController::viewDidLoad();
  if (!reviewText) return;
  if (auto label = reviewLabel.lock()) label->setText("'" + *reviewText + "'");
}

void ShareReviewController::crossButtonPressed(platform::UIControl&) { dismiss(true); }

std::string ShareReviewController::writeReviewAddress(const std::optional<std::string>& appID) {
  return SettingsScreen::storePageAddress(appID.value_or(LKSDeployment::defaultStoreIdentifier)) + kWriteReviewQuery;
}

void ShareReviewController::shareButtonPressed(platform::UIControl&) {
  // The review as entered, without the quotes the label adds.
  platform::UIPasteboard::generalPasteboard().setString(reviewText.value_or(""));
  const auto url = platform::URL::URLWithString(writeReviewAddress(appID));
  const auto app = platform::UIApplication::sharedApplication();
  if (url && app->canOpenURL(*url)) app->openURL(*url);
}
