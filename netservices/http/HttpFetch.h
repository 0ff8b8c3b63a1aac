#pragma once
// IHttpFetch: the one HTTP GET of the system as the layers above the network
// services see it: the body of a URL fetched with a given agent text, or
// nothing when the request failed. THttpFetchPlaceholder answers nothing for
// every URL until the real client exists; code written against the interface
// then keeps working unchanged.
#include <optional>
#include <string>

namespace tarnix {

class IHttpFetch {
 public:
  virtual ~IHttpFetch() = default;
  // The reply body; nullopt when the request failed. May block the caller.
  virtual std::optional<std::string> HttpGet(const std::string& url, const std::string& agent) = 0;
};

class THttpFetchPlaceholder final : public IHttpFetch {
 public:
  std::optional<std::string> HttpGet(const std::string&, const std::string&) override {
    return std::nullopt;
  }
};

}  // namespace tarnix
