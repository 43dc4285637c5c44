#include "shared_library/support/upgrade_utils.h"

#include <cctype>
#include <mutex>

#include "platform/foundation/bundle.h"
#include "platform/foundation/console.h"
#include "platform/foundation/process.h"
#include "platform/network/url.h"
#include "platform/services/number_formatter.h"
#include "platform/services/safari_view_controller.h"
#include "platform/services/store_product.h"
#include "platform/uikit/application.h"
#include "shared_library/support/lks_deployment.h"

using platform::UIAlertAction;
using platform::UIAlertActionStyle;
using platform::UIAlertController;
using platform::UIAlertControllerStyle;
using platform::URL;

namespace {

struct ContactSettings {
  std::mutex mutex;
  std::string socialScheme;
  std::string socialID;
  std::string mailID = LKSDeployment::supportMailbox;
};

ContactSettings& contactSettings() {
  return *platform::Process::current().shared<ContactSettings>([] { return std::make_shared<ContactSettings>(); });
}

template <class F>
auto withSettings(F&& f) {
  auto& s = contactSettings();
  std::lock_guard lock(s.mutex);
  return f(s);
}

}  // namespace

bool UpgradeUtils::opensInBrowser(const URL& url) {
  std::string scheme = url.scheme();
  for (auto& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return scheme == "http" || scheme == "https";
}

std::shared_ptr<UpgradeUtils> UpgradeUtils::shared() {
  return platform::Process::current().shared<UpgradeUtils>([] { return std::make_shared<UpgradeUtils>(); });
}

std::string UpgradeUtils::contactSocialScheme() {
  return withSettings([](ContactSettings& s) { return s.socialScheme; });
}
void UpgradeUtils::setContactSocialScheme(std::string scheme) {
  withSettings([&](ContactSettings& s) { s.socialScheme = std::move(scheme); });
}
std::string UpgradeUtils::contactSocialID() {
  return withSettings([](ContactSettings& s) { return s.socialID; });
}
void UpgradeUtils::setContactSocialID(std::string id) {
  withSettings([&](ContactSettings& s) { s.socialID = std::move(id); });
}
std::string UpgradeUtils::contactMailID() {
  return withSettings([](ContactSettings& s) { return s.mailID; });
}
void UpgradeUtils::setContactMailID(std::string mail) {
  withSettings([&](ContactSettings& s) { s.mailID = std::move(mail); });
}

std::shared_ptr<platform::UIViewController> UpgradeUtils::topMostController() {
  std::shared_ptr<platform::UIWindow> key;
  for (const auto& window : platform::UIApplication::sharedApplication()->windows())
    if (window->isKeyWindow()) {
      key = window;
      break;
    }
  auto top = key ? key->rootViewController() : nullptr;
  if (!top) return std::make_shared<platform::UIViewController>();
  while (auto presented = top->presentedViewController()) top = presented;
  return top;
}

std::string UpgradeUtils::supportMailSubject() {
  const auto name = platform::Bundle::main()->infoString("CFBundleDisplayName");
  return name ? *name + " | Support" : "Support";
}

std::string UpgradeUtils::supportMailBody() {
  // a missing version or vendor identifier leaves its piece empty; the mail still goes
  const auto device = platform::UIDevice::currentDevice();
  return std::string("<br><br><br><hr><p style=\"font-family: Courier New, Courier, monospace;\">"
                     "Your device information is included to help the developer track your feedback<br>OS:") +
         device.systemVersion() + "<br>App Version:" +
         platform::Bundle::main()->infoString("CFBundleShortVersionString").value_or("") + "<br>Device ID: " +
         device.identifierForVendor().value_or("") + "<br></p>";
}

void UpgradeUtils::contactSupport() {
  if (auto scheme = URL::parse(contactSocialScheme());
      scheme && platform::UIApplication::sharedApplication()->canOpenURL(*scheme)) {
    if (auto page = URL::parse(contactSocialID())) {
      platform::UIApplication::sharedApplication()->openURL(*page);
      return;
    }
  }
  if (platform::MFMailComposeViewController::canSendMail()) {
    auto composer = std::make_shared<platform::MFMailComposeViewController>();
    // always the shared object, which outlives every composer, so the composer can be closed
    composer->setMailComposeDelegate(UpgradeUtils::shared());
    composer->setToRecipients({contactMailID()});
    composer->setSubject(supportMailSubject());
    composer->setMessageBody(supportMailBody(), true);
    topMostController()->present(composer, true);
    return;
  }
  auto alert = UIAlertController::alertControllerWithTitle(
      "Setup Email Account",
      "Your email account has not been setup. Please setup an email account from settings to send email to the "
      "developer.",
      UIAlertControllerStyle::alert);
  alert->addAction(UIAlertAction::actionWithTitle("OK", UIAlertActionStyle::cancel, nullptr));
  topMostController()->present(alert, true);
}

void UpgradeUtils::mailComposeController(platform::MFMailComposeViewController& controller,
                                         platform::MFMailComposeResult, const std::optional<platform::Error>&) {
  controller.dismiss(true);
}

void UpgradeUtils::showHelpAlertViewWithTitle(const std::string& title, const std::string& message) {
  auto alert = UIAlertController::alertControllerWithTitle(title, message, UIAlertControllerStyle::alert);
  std::weak_ptr<UpgradeUtils> self = weak_from_this();
  alert->addAction(UIAlertAction::actionWithTitle("Contact Support", UIAlertActionStyle::defaultStyle,
                                                  [self](const UIAlertAction&) {
                                                    if (auto s = self.lock()) s->contactSupport();
                                                  }));
  alert->addAction(UIAlertAction::actionWithTitle("Cancel", UIAlertActionStyle::cancel, nullptr));
  topMostController()->present(alert, true);
}

void UpgradeUtils::showAlertViewWithTitle(const std::string& title, const std::string& message,
                                          std::function<void(const UIAlertAction&)> action) {
  auto alert = UIAlertController::alertControllerWithTitle(title, message, UIAlertControllerStyle::alert);
  alert->addAction(UIAlertAction::actionWithTitle("OK", UIAlertActionStyle::cancel, std::move(action)));
  topMostController()->present(alert, true);
}

void UpgradeUtils::openWebPageWithWebpageUrl(const std::string& address) {
  const auto url = URL::parse(address);
  if (!url || !opensInBrowser(*url)) return;
  platform::SFSafariViewControllerConfiguration configuration;
  configuration.entersReaderIfAvailable = true;
  topMostController()->present(std::make_shared<platform::SFSafariViewController>(*url, configuration), true);
}

void UpgradeUtils::openApp(const std::optional<std::string>& address) {
  if (!address) return;
  const auto url = URL::parse(*address);
  if (!url) return;
  platform::UIApplication::sharedApplication()->openURL(*url);
  platform::console("Opened " + url->absoluteString());
}

void UpgradeUtils::openAppStorePageOfApp(const std::optional<std::string>& identifier) {
  if (!identifier) return;
  auto store = std::make_shared<platform::SKStoreProductViewController>();
  platform::SKStoreProductViewController::ParameterValue value = platform::NSNull{};
  if (auto number = platform::NSNumberFormatter().numberFromString(*identifier)) value = *number;
  store->loadProductWithParameters({{platform::SKStoreProductParameterITunesItemIdentifier, value}});
  topMostController()->present(store, true);
}
