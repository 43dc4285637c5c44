#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/network/url.h"
#include "platform/uikit/view.h"

namespace platform {

class UIApplication;
class UIViewController;
class UIWindow;

// The options a launch brings; this application is never launched with any.
struct UIApplicationLaunchOptions {};

class UIApplicationDelegate {
 public:
  virtual ~UIApplicationDelegate() = default;
  virtual bool didFinishLaunchingWithOptions(UIApplication& application,
                                             const std::optional<UIApplicationLaunchOptions>& options) = 0;
  // Whether the delegate answers `window`, and its window.
  virtual bool respondsToWindow() const { return false; }
  virtual std::shared_ptr<UIWindow> window() { return nullptr; }
};

extern const char* const UIApplicationOpenSettingsURLString;
extern const char* const UIApplicationDidBecomeActiveNotification;

// The running application: one per process.
class UIApplication {
 public:
  static std::shared_ptr<UIApplication> sharedApplication();

  // Main thread only.
  std::shared_ptr<UIApplicationDelegate> delegate() const;
  void setDelegate(std::shared_ptr<UIApplicationDelegate> delegate);
  // The application's windows, oldest first.
  std::vector<std::shared_ptr<UIWindow>> windows() const;
  std::shared_ptr<UIWindow> keyWindow() const;

  // Safe from any thread. Yes for a URL whose scheme belongs to an installed application (the
  // device profile) or that a test scripted as openable; every question is kept.
  bool canOpenURL(const URL& url) const;
  // Kept; nothing is opened. The completion, when given, runs on the main queue with true.
  void openURL(const URL& url, std::function<void(bool)> completion = {});

  long applicationIconBadgeNumber() const;
  void setApplicationIconBadgeNumber(long number);

  // Ends the main run loop of UIApplicationMain, which then returns `status`. Any thread.
  void terminate(int status);

  UIApplication();

 private:
  friend int UIApplicationMain(int, char**, const std::optional<std::string>&, const std::optional<std::string>&);
  friend class UIWindow;
  void addWindow(const std::shared_ptr<UIWindow>& window);
  void becameKey(const UIWindow* window);

  std::shared_ptr<UIApplicationDelegate> delegate_;
  std::vector<std::weak_ptr<UIWindow>> windows_;
  std::atomic<long> badge_{0};
  std::atomic<bool> terminated_{false};
  std::atomic<int> status_{0};
};

// Registers the application delegate class that UIApplicationMain makes by name.
void registerApplicationDelegateClass(const std::string& name,
                                      std::function<std::shared_ptr<UIApplicationDelegate>()> factory);
template <class T>
void registerApplicationDelegateClass(const std::string& name) {
  registerApplicationDelegateClass(name, [] { return std::make_shared<T>(); });
}

// On the main thread of the running process: makes the delegate by class name (a programming
// error when it is unknown), sends it didFinishLaunchingWithOptions, then runs the main run loop
// until terminate(). Returns the status given to terminate(), the exit status. On a virtual
// clock the loop moves time on whenever nothing is due; it also ends (with 0) once nothing can
// ever run again.
int UIApplicationMain(int argc, char** argv, const std::optional<std::string>& principalClassName,
                      const std::optional<std::string>& delegateClassName);

// A window: it holds its root view controller and shows the root's view.
class UIWindow : public UIView {
 public:
  explicit UIWindow(CGRect frame = {});
  ~UIWindow() override;

  std::shared_ptr<UIViewController> rootViewController() const;
  // In a visible window the new root's view loads and appears at once, the old one disappears.
  void setRootViewController(std::shared_ptr<UIViewController> controller);
  // Key, visible, and shows the root: its view loads (viewDidLoad), then viewWillAppear.
  void makeKeyAndVisible();
  bool isKeyWindow() const;
  bool isVisible() const;

 private:
  friend class UIApplication;
  void showRoot();
  std::shared_ptr<UIViewController> root_;
  bool key_ = false;
  bool visible_ = false;
  bool registered_ = false;
};

class UIScreen {
 public:
  static UIScreen mainScreen();
  CGRect bounds() const { return bounds_; }
  double scale() const { return scale_; }

 private:
  CGRect bounds_;
  double scale_ = 1;
};

enum class UIUserInterfaceIdiom { phone = 0, pad = 1 };

class UIDevice {
 public:
  static UIDevice currentDevice();
  const std::string& systemVersion() const { return systemVersion_; }
  UIUserInterfaceIdiom userInterfaceIdiom() const { return idiom_; }
  // A UUID in upper-case text, kept on the device: the same on every launch.
  const std::optional<std::string>& identifierForVendor() const { return vendor_; }

 private:
  std::string systemVersion_;
  UIUserInterfaceIdiom idiom_ = UIUserInterfaceIdiom::phone;
  std::optional<std::string> vendor_;
};

}  // namespace platform
