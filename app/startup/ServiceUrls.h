#pragma once
// The addresses of the connection service, the version file and the node
// registry, and the HTTP agent text. The command line may move the base to a
// developer test server ("/local") or to the local host ("/offline"); the
// connection service address keeps its default either way.
#include <string>

namespace tarnix {

inline constexpr const char* kServiceHost = "tarnix.example.org";
inline constexpr const char* kDeveloperTestServer = "127.0.0.1";

struct TServiceUrls {
  std::string base;
  std::string versionFile;
  std::string connectionService;
  std::string node;
  std::string agent;
};

// The defaults: base "http://" + service host + "/tarnix/", agent "tarnix/".
TServiceUrls DefaultServiceUrls();
// Moves base, version file and node address to newBase.
void RebaseServiceUrls(TServiceUrls& urls, const std::string& newBase);

}  // namespace tarnix
