#pragma once

#include <filesystem>
#include <optional>

#include "platform/network/url_session.h"

namespace platform::network_detail {

struct TransferResult {
  std::optional<Bytes> body;
  std::optional<HTTPURLResponse> response;
  std::optional<Error> error;
};

// One blocking HTTPS exchange with libcurl, on the calling thread. Never throws for a failure
// of the transfer: every failure comes back as the error.
TransferResult performTransfer(const URLRequest& request, const Bytes& body, const URLSessionConfiguration& configuration,
                               const std::optional<std::filesystem::path>& extraCertificateAuthorityFile);

}  // namespace platform::network_detail
