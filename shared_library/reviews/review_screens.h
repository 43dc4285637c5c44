#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/services/text_view.h"
#include "platform/uikit/color.h"
#include "platform/uikit/control.h"
#include "platform/uikit/view.h"
#include "platform/uikit/view_controller.h"

// A small card asking whether the user loves the application; loving it leads to the review
// entry. Nothing in the application presents it.
class RatingPopUpController : public platform::UIViewController {
 public:
  std::weak_ptr<platform::UIView> popUpView;
  platform::UIColor borderColor;
  platform::UIColor backGroundColor;
  // The store identifier handed on; "" counts as none.
  std::string appID;

  void viewDidLoad() override;
  void connectOutlets(platform::OutletConnector& connector) override;
  void emptyScreenTapped(platform::UIControl& sender);
  // Dismisses the card, then presents the review entry on the top-most screen.
  void loveItButtonPressed(platform::UIControl& sender);
  void hateItButtonPressed(platform::UIControl& sender);
  void crossButtonPressed(platform::UIControl& sender);
};

// The review text, with the grey placeholder "Tell Us More" while it is empty.
class WriteReviewController : public platform::UIViewController, public platform::UITextViewDelegate {
 public:
  static constexpr const char* kPlaceholder = "Tell Us More";

  std::weak_ptr<platform::UITextView> textView;
  std::optional<std::string> appID;

  void viewDidLoad() override;
  void connectOutlets(platform::OutletConnector& connector) override;
  void crossButtonPressed(platform::UIControl& sender);
  // Presents the sharing screen over this one.
  void sendButtonPressed(platform::UIControl& sender);
  // While the placeholder shows, the caret stays at the start.
  void textViewDidChangeSelection(platform::UITextView& view) override;
  bool textViewShouldChangeTextInRange(platform::UITextView& view, platform::NSRange range,
                                       const std::string& replacement) override;

 private:
  void showPlaceholder(platform::UITextView& view);
};

// The review in quotes; sharing copies it and opens the store's write-review page.
class ShareReviewController : public platform::UIViewController {
 public:
  std::weak_ptr<platform::UILabel> reviewLabel;
  std::optional<std::string> appID;
  std::optional<std::string> reviewText;

  void viewDidLoad() override;
  void connectOutlets(platform::OutletConnector& connector) override;
  void crossButtonPressed(platform::UIControl& sender);
  void shareButtonPressed(platform::UIControl& sender);
  // The store's write-review address for the identifier (the default one when none).
  static std::string writeReviewAddress(const std::optional<std::string>& appID);
};

// Makes the three screens known to storyboards; once is enough.
void registerReviewScreens();
