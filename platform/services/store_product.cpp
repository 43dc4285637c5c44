#include "platform/services/store_product.h"

#include "platform/foundation/console.h"
#include "platform/foundation/queues.h"

namespace platform {

const char* const SKStoreProductParameterITunesItemIdentifier = "id";

void SKStoreProductViewController::loadProductWithParameters(
    Parameters parameters, std::function<void(bool, const std::optional<Error>&)> completion) {
  ++loads_;
  auto it = parameters.find(SKStoreProductParameterITunesItemIdentifier);
  const bool valid = it != parameters.end() && std::holds_alternative<std::int64_t>(it->second);
  if (!valid) console("SKStoreProductViewController: the item identifier is not valid");
  parameters_ = std::move(parameters);
  if (!completion) return;
  std::optional<Error> error;
  if (!valid) error = Error{"SKErrorDomain", 0, "the item identifier is not valid"};
  DispatchQueue::main().async([completion = std::move(completion), valid, error] { completion(valid, error); });
}

}  // namespace platform
