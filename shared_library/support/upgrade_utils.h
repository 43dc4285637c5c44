#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/network/url.h"
#include "platform/services/alert_controller.h"
#include "platform/services/mail_compose.h"
#include "platform/uikit/view_controller.h"

// The library's actions that leave the current screen: support contact, alerts, web pages, other
// applications and their store pages, all presented on topMostController. Main thread only.
class UpgradeUtils : public platform::MFMailComposeViewControllerDelegate,
                     public std::enable_shared_from_this<UpgradeUtils> {
 public:
  UpgradeUtils() = default;
  // The one instance of the process, made on first use.
  static std::shared_ptr<UpgradeUtils> shared();

  // An alert offering "Contact Support" (runs contactSupport on this object) and "Cancel".
  virtual void showHelpAlertViewWithTitle(const std::string& title, const std::string& message);
  // The social link when its scheme can be opened, else the support mail when mail can be sent,
  // else an alert asking to set up a mail account.
  virtual void contactSupport();
  // Dismisses the composer whatever the result.
  void mailComposeController(platform::MFMailComposeViewController& controller, platform::MFMailComposeResult result,
                             const std::optional<platform::Error>& error) override;

  // The end of the presented chain of the first key window's root; without one, a new controller
  // shown nowhere. Containers are not looked into.
  static std::shared_ptr<platform::UIViewController> topMostController();
  // One "OK" action in cancel style, running `action` when given.
  static void showAlertViewWithTitle(const std::string& title, const std::string& message,
                                     std::function<void(const platform::UIAlertAction&)> action = {});
  // The in-app browser for an http or https address; anything else does nothing.
  static void openWebPageWithWebpageUrl(const std::string& address);
  // Whether the in-app browser takes the address: http or https, in any case.
  static bool opensInBrowser(const platform::URL& url);
  // Opens the address as it is, without asking whether it can be opened.
  static void openApp(const std::optional<std::string>& address);
  // The store's page of the product, presented at once; an identifier that is not a number
  // still presents it, with the null object as the identifier.
  static void openAppStorePageOfApp(const std::optional<std::string>& identifier);

  // Process-wide; both social texts empty by default, the mailbox the maker's.
  static std::string contactSocialScheme();
  static void setContactSocialScheme(std::string scheme);
  static std::string contactSocialID();
  static void setContactSocialID(std::string id);
  static std::string contactMailID();
  static void setContactMailID(std::string mail);

  // The support mail's subject and HTML body from the application's and the device's facts.
  static std::string supportMailSubject();
  static std::string supportMailBody();
};
