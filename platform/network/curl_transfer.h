#pragma once

#include <filesystem>
#include <functional>
#include <optional>

#include "platform/network/url_session.h"

namespace platform::network_detail {

struct TransferResult {
  std::optional<Bytes> body;
  std::optional<HTTPURLResponse> response;
  std::optional<Error> error;
  bool abandoned = false;  // given up at the caller's word; nobody waits for it
};

// One blocking HTTPS exchange with libcurl, on the calling thread. Never throws for a failure
// of the transfer: every failure comes back as the error. `abandon` is asked at least every 100 ms
// while the transfer runs; once it answers true the transfer ends at once, abandoned.
TransferResult performTransfer(const URLRequest& request, const Bytes& body, const URLSessionConfiguration& configuration,
                               const std::optional<std::filesystem::path>& extraCertificateAuthorityFile,
                               const std::function<bool()>& abandon = {});

}  // namespace platform::network_detail
