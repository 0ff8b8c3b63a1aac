#include "app/startup/ServiceUrls.h"

namespace tarnix {

TServiceUrls DefaultServiceUrls() {
  TServiceUrls urls;
  urls.base = std::string("http://") + kServiceHost + "/tarnix/";
  urls.versionFile = urls.base + "verup.txt";
  urls.connectionService = urls.base + "serv.php";
  urls.node = urls.base + "node.php";
  urls.agent = "tarnix/";
  return urls;
}

void RebaseServiceUrls(TServiceUrls& urls, const std::string& newBase) {
  urls.base = newBase;
  urls.versionFile = newBase + "verup.txt";
  urls.node = newBase + "node.php";
}

}  // namespace tarnix
