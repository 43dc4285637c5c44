#include "app/server_pick.h"

#include "platform/foundation/process.h"

std::shared_ptr<VPNServer> randomServer(const VPNServerList& servers) {
  VPNServerList reachable;
  for (const auto& server : servers)
    if (server->address()) reachable.push_back(server);
  const auto& pool = reachable.empty() ? servers : reachable;
  if (pool.empty()) return nullptr;
  return pool[platform::Process::current().random().uniformIndex(pool.size())];
}
