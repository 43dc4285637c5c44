#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "platform/foundation/error.h"
#include "platform/uikit/view_controller.h"

namespace platform {

// The platform's null object, where a dictionary needs a value that is none.
struct NSNull {
  bool operator==(const NSNull&) const = default;
};

extern const char* const SKStoreProductParameterITunesItemIdentifier;

class SKStoreProductViewController;

class SKStoreProductViewControllerDelegate {
 public:
  virtual ~SKStoreProductViewControllerDelegate() = default;
  virtual void productViewControllerDidFinish(SKStoreProductViewController& controller) = 0;
};

// The store's page of one product, shown inside the application. Nothing is fetched: loading
// keeps the parameters. Main thread only.
class SKStoreProductViewController : public UIViewController {
 public:
  using ParameterValue = std::variant<NSNull, std::int64_t>;
  using Parameters = std::map<std::string, ParameterValue>;

  // Kept. An item identifier that is not a number is written to the console as not valid; the
  // completion, when given, runs on the main queue with false and an error then, else true.
  void loadProductWithParameters(Parameters parameters,
                                 std::function<void(bool loaded, const std::optional<Error>& error)> completion = {});
  const std::optional<Parameters>& loadedParameters() const { return parameters_; }
  int loadCount() const { return loads_; }

  std::shared_ptr<SKStoreProductViewControllerDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<SKStoreProductViewControllerDelegate> delegate) { delegate_ = std::move(delegate); }

 private:
  std::optional<Parameters> parameters_;
  int loads_ = 0;
  std::weak_ptr<SKStoreProductViewControllerDelegate> delegate_;
};

}  // namespace platform
