#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "platform/uikit/color.h"
#include "platform/uikit/view.h"

namespace platform {

// A range of UTF-16 units.
struct NSRange {
  size_t location = 0;
  size_t length = 0;
  bool operator==(const NSRange&) const = default;
};

// A place in a text view's text, in UTF-16 units from its start.
struct UITextPosition {
  size_t offset = 0;
  bool operator==(const UITextPosition&) const = default;
};

struct UITextRange {
  UITextPosition start, end;
  bool isEmpty() const { return start == end; }
  bool operator==(const UITextRange&) const = default;
};

class UITextView;

class UITextViewDelegate {
 public:
  virtual ~UITextViewDelegate() = default;
  // Whether the view may replace `range` of its text with `replacement`.
  virtual bool textViewShouldChangeTextInRange(UITextView&, NSRange, const std::string&) { return true; }
  virtual void textViewDidChangeSelection(UITextView&) {}
};

// Editable text kept as UTF-16. Setting the text puts the caret at its end. The delegate hears of a
// selection change only when the selection really changes. Main thread only.
class UITextView : public UIView {
 public:
  using UIView::UIView;

  std::string text() const;
  const std::u16string& utf16Text() const { return text_; }
  void setText(const std::string& text);
  const std::optional<UIColor>& textColor() const { return textColor_; }
  void setTextColor(std::optional<UIColor> color) { textColor_ = color; }
  std::shared_ptr<UITextViewDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<UITextViewDelegate> delegate) { delegate_ = std::move(delegate); }

  bool becomeFirstResponder();
  bool isFirstResponder() const { return firstResponder_; }

  UITextPosition beginningOfDocument() const { return {0}; }
  UITextPosition endOfDocument() const { return {text_.size()}; }
  // Positions past the end are taken as the end.
  std::optional<UITextRange> textRangeFromPosition(UITextPosition from, UITextPosition to) const;
  UITextRange selectedTextRange() const { return selection_; }
  void setSelectedTextRange(UITextRange range);

  void describeContent(std::vector<std::string>& parts) const override;

 private:
  std::u16string text_;
  std::optional<UIColor> textColor_;
  std::weak_ptr<UITextViewDelegate> delegate_;
  bool firstResponder_ = false;
  UITextRange selection_;
};

// The pasteboard every application shares; safe from any thread.
class UIPasteboard {
 public:
  static UIPasteboard& generalPasteboard();
  std::optional<std::string> string() const;
  void setString(std::optional<std::string> text);
};

}  // namespace platform
