#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/uikit/view_controller.h"

namespace platform {

enum class MFMailComposeResult : int { cancelled = 0, saved = 1, sent = 2, failed = 3 };

class MFMailComposeViewController;

class MFMailComposeViewControllerDelegate {
 public:
  virtual ~MFMailComposeViewControllerDelegate() = default;
  virtual void mailComposeController(MFMailComposeViewController& controller, MFMailComposeResult result,
                                     const std::optional<Error>& error) = 0;
};

// The system's mail composer: what a screen filled in before presenting it. Nothing is sent; the
// user's choice comes back through the delegate. Main thread only.
class MFMailComposeViewController : public UIViewController {
 public:
  // Whether the device has a mail account set up (its profile says).
  static bool canSendMail();

  const std::vector<std::string>& toRecipients() const { return recipients_; }
  void setToRecipients(std::vector<std::string> recipients) { recipients_ = std::move(recipients); }
  const std::string& subject() const { return subject_; }
  void setSubject(std::string subject) { subject_ = std::move(subject); }
  const std::string& messageBody() const { return body_; }
  bool isBodyHTML() const { return bodyIsHTML_; }
  void setMessageBody(std::string body, bool isHTML) {
    body_ = std::move(body);
    bodyIsHTML_ = isHTML;
  }

  // Held weakly; apart from any other delegate a controller has.
  std::shared_ptr<MFMailComposeViewControllerDelegate> mailComposeDelegate() const { return delegate_.lock(); }
  void setMailComposeDelegate(std::weak_ptr<MFMailComposeViewControllerDelegate> delegate) {
    delegate_ = std::move(delegate);
  }

 private:
  std::vector<std::string> recipients_;
  std::string subject_;
  std::string body_;
  bool bodyIsHTML_ = false;
  std::weak_ptr<MFMailComposeViewControllerDelegate> delegate_;
};

}  // namespace platform
