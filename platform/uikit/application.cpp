#include "platform/uikit/application.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <mutex>
#include <random>
#include <system_error>

#include "platform/foundation/console.h"
#include "platform/foundation/files.h"
#include "platform/foundation/process.h"
#include "platform/foundation/queues.h"
#include "platform/uikit/main_thread.h"
#include "platform/uikit/ui_records.h"
#include "platform/uikit/view_controller.h"

namespace platform {

const char* const UIApplicationOpenSettingsURLString = "app-settings:";
const char* const UIApplicationDidBecomeActiveNotification = "UIApplicationDidBecomeActiveNotification";

namespace {

struct DelegateClasses {
  std::mutex mutex;
  std::map<std::string, std::function<std::shared_ptr<UIApplicationDelegate>()>> factories;
};

DelegateClasses& delegateClasses() {
  static DelegateClasses classes;
  return classes;
}

std::string lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

void registerApplicationDelegateClass(const std::string& name,
                                      std::function<std::shared_ptr<UIApplicationDelegate>()> factory) {
  auto& classes = delegateClasses();
  std::lock_guard lock(classes.mutex);
  classes.factories[name] = std::move(factory);
}

UIApplication::UIApplication() = default;

std::shared_ptr<UIApplication> UIApplication::sharedApplication() {
  return Process::current().shared<UIApplication>([] { return std::make_shared<UIApplication>(); });
}

std::shared_ptr<UIApplicationDelegate> UIApplication::delegate() const {
  requireMainThread("UIApplication::delegate");
  return delegate_;
}

void UIApplication::setDelegate(std::shared_ptr<UIApplicationDelegate> delegate) {
  requireMainThread("UIApplication::setDelegate");
  delegate_ = std::move(delegate);
}

std::vector<std::shared_ptr<UIWindow>> UIApplication::windows() const {
  requireMainThread("UIApplication::windows");
  std::vector<std::shared_ptr<UIWindow>> out;
  for (const auto& w : windows_)
    if (auto window = w.lock()) out.push_back(std::move(window));
  return out;
}

std::shared_ptr<UIWindow> UIApplication::keyWindow() const {
  for (const auto& w : windows())
    if (w->isKeyWindow()) return w;
  return nullptr;
}

void UIApplication::addWindow(const std::shared_ptr<UIWindow>& window) {
  std::erase_if(windows_, [](const auto& w) { return w.expired(); });
  windows_.push_back(window);
}

void UIApplication::becameKey(const UIWindow* window) {
  for (const auto& w : windows())
    if (w.get() != window) w->key_ = false;
}

bool UIApplication::canOpenURL(const URL& url) const {
  const auto installed = Process::current().device().profile().installedURLSchemes;
  return detail::UIRecords::current().with([&](detail::UIRecords& r) {
    r.canOpenQuestions.push_back(url.absoluteString());
    auto scripted = r.canOpenAnswers.find(url.absoluteString());
    if (scripted != r.canOpenAnswers.end()) return scripted->second;
    const auto scheme = lower(url.scheme());
    return std::any_of(installed.begin(), installed.end(), [&](const std::string& s) { return lower(s) == scheme; });
  });
}

void UIApplication::openURL(const URL& url, std::function<void(bool)> completion) {
  detail::UIRecords::current().with([&](detail::UIRecords& r) {
    r.openedURLs.push_back({url.absoluteString(), detail::UIRecords::now()});
  });
  if (completion) DispatchQueue::main().async([completion = std::move(completion)] { completion(true); });
}

long UIApplication::applicationIconBadgeNumber() const { return badge_.load(); }

void UIApplication::setApplicationIconBadgeNumber(long number) {
  detail::UIRecords::current().with([&](detail::UIRecords& r) {
    badge_.store(number);
    r.badgeHistory.push_back(number);
  });
}

void UIApplication::terminate(int status) {
  status_.store(status);
  terminated_.store(true);
  auto& loop = Process::current().mainLoop();
  if (Process::current().virtualClock()) loop.wake();
  else loop.stop();
}

int UIApplicationMain(int, char**, const std::optional<std::string>& principalClassName,
                      const std::optional<std::string>& delegateClassName) {
  requireMainThread("UIApplicationMain");
  if (principalClassName && *principalClassName != "UIApplication")
    fatalError("UIApplicationMain: unknown principal class " + *principalClassName);
  auto app = UIApplication::sharedApplication();
  if (delegateClassName) {
    std::function<std::shared_ptr<UIApplicationDelegate>()> factory;
    {
      auto& classes = delegateClasses();
      std::lock_guard lock(classes.mutex);
      auto it = classes.factories.find(*delegateClassName);
      if (it != classes.factories.end()) factory = it->second;
    }
    if (!factory) fatalError("UIApplicationMain: unknown application delegate class " + *delegateClassName);
    app->delegate_ = factory();
  }
  if (app->delegate_) app->delegate_->didFinishLaunchingWithOptions(*app, std::nullopt);

  auto& loop = Process::current().mainLoop();
  if (Process::current().virtualClock()) {
    const auto year = std::chrono::duration_cast<Duration>(std::chrono::hours(24 * 365));
    loop.runUntil([&] { return app->terminated_.load(); }, year, std::chrono::hours(24));
  } else {
    while (!app->terminated_.load()) loop.run();
  }
  return app->status_.load();
}

// UIWindow

UIWindow::UIWindow(CGRect frame) : UIView(frame) { startHidden(); }

UIWindow::~UIWindow() = default;

std::shared_ptr<UIViewController> UIWindow::rootViewController() const {
  mainThreadOnly("UIWindow::rootViewController");
  return root_;
}

void UIWindow::setRootViewController(std::shared_ptr<UIViewController> controller) {
  mainThreadOnly("UIWindow::setRootViewController");
  if (!registered_) {
    registered_ = true;
    UIApplication::sharedApplication()->addWindow(std::static_pointer_cast<UIWindow>(shared_from_this()));
  }
  if (controller == root_) return;
  if (auto old = root_) {
    if (visible_) old->disappear(false);
    if (old->view_) old->view_->removeFromSuperview();
    old->window_.reset();
  }
  root_ = std::move(controller);
  if (!root_) return;
  root_->window_ = std::static_pointer_cast<UIWindow>(shared_from_this());
  if (visible_) showRoot();
}

void UIWindow::makeKeyAndVisible() {
  mainThreadOnly("UIWindow::makeKeyAndVisible");
  auto app = UIApplication::sharedApplication();
  if (!registered_) {
    registered_ = true;
    app->addWindow(std::static_pointer_cast<UIWindow>(shared_from_this()));
  }
  app->becameKey(this);
  key_ = true;
  visible_ = true;
  setHidden(false);
  if (root_) showRoot();
}

void UIWindow::showRoot() {
  auto root = root_;  // the callbacks may change the root
  root->loadViewIfNeeded();
  if (root->view_->superview().get() != this) {
    root->view_->setFrame(bounds());
    addSubview(root->view_);
  }
  root->appear(false);
}

bool UIWindow::isKeyWindow() const {
  mainThreadOnly("UIWindow::isKeyWindow");
  return key_;
}

bool UIWindow::isVisible() const {
  mainThreadOnly("UIWindow::isVisible");
  return visible_;
}

// UIScreen and UIDevice

UIScreen UIScreen::mainScreen() {
  const auto profile = Process::current().device().profile();
  UIScreen s;
  s.bounds_ = CGRectMake(0, 0, profile.screenWidth, profile.screenHeight);
  s.scale_ = profile.screenScale;
  return s;
}

namespace {

std::string makeUUID() {
  std::random_device rd;
  std::uniform_int_distribution<int> nibble(0, 15);
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (int i = 0; i < 32; ++i) {
    int v = nibble(rd);
    if (i == 12) v = 4;                  // version 4
    if (i == 16) v = 8 | (v & 3);        // the RFC 4122 variant
    if (i == 8 || i == 12 || i == 16 || i == 20) out += '-';
    out += hex[v];
  }
  return out;
}

// The canonical upper-case text of a UUID written 8-4-4-4-12 in hexadecimal digits of any case, or
// none.
std::optional<std::string> canonicalUUID(const std::string& text) {
  if (text.size() != 36) return std::nullopt;
  std::string out = text;
  for (size_t i = 0; i < out.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? out[i] != '-' : !std::isxdigit(static_cast<unsigned char>(out[i]))) return std::nullopt;
    out[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(out[i])));
  }
  return out;
}

struct VendorIdentifier {
  std::optional<std::string> value;
};

std::optional<std::string> vendorIdentifier() {
  return Process::current()
      .shared<VendorIdentifier>([] {
        auto made = std::make_shared<VendorIdentifier>();
        auto& device = Process::current().device();
        const auto profile = device.profile();
        if (!profile.identifierForVendor.empty()) {
          made->value = profile.identifierForVendor;
          return made;
        }
        const auto file = device.identifierForVendorPath();
        std::error_code ec;
        if (std::filesystem::symlink_status(file, ec).type() != std::filesystem::file_type::not_found) {
          std::string why;
          ReadFault fault = ReadFault::damaged;
          if (auto bytes = readFile(file, ReadLimits{false, 64}, &why, &fault)) {
            made->value = canonicalUUID(std::string(bytes->begin(), bytes->end()));
            if (made->value) return made;
            why = "it does not hold a UUID";
            fault = ReadFault::damaged;
          }
          if (fault == ReadFault::unreadable) {
            // left as it is: the identifier it holds must not change; this process does not go on
            Process::current().reportUnusableDeviceFile(unreadableLine(file, why));
            made->value = makeUUID();
            return made;
          }
          if (fault == ReadFault::damaged) keepDamagedAside("Vendor identifier", file, why, "made a new identifier");
        }
        made->value = makeUUID();
        std::string error;
        if (!writeFileAtomically(file, *made->value, &error)) console("Vendor identifier: cannot keep it in " + file.string() + ": " + error);
        return made;
      })
      ->value;
}

}  // namespace

UIDevice UIDevice::currentDevice() {
  const auto profile = Process::current().device().profile();
  UIDevice d;
  d.systemVersion_ = profile.systemVersion;
  d.idiom_ = profile.userInterfaceIdiom == 1 ? UIUserInterfaceIdiom::pad : UIUserInterfaceIdiom::phone;
  d.vendor_ = vendorIdentifier();
  return d;
}

}  // namespace platform
