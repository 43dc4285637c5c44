#pragma once

#include <memory>

#include "vpn_core/server_list.h"

// A uniformly random server of the list, drawn among those with an address (a server without
// one cannot be connected to); among all of them when none has one; none for an empty list.
std::shared_ptr<VPNServer> randomServer(const VPNServerList& servers);
