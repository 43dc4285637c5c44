#pragma once

#include <optional>

#include "platform/foundation/error.h"
#include "platform/services/mail_compose.h"

namespace platform::testing {

// The user ends the composer: its delegate hears the result, if it is still there.
inline void finishMailCompose(MFMailComposeViewController& composer, MFMailComposeResult result,
                              const std::optional<Error>& error = std::nullopt) {
  if (auto delegate = composer.mailComposeDelegate()) delegate->mailComposeController(composer, result, error);
}

}  // namespace platform::testing
