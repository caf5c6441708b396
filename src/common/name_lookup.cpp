#include "common/name_lookup.h"

#include <netdb.h>
#include <sys/socket.h>

namespace quarbe {

int HostLookupError(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int code = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (found != nullptr) ::freeaddrinfo(found);
  return code;
}

std::string HostOfAddress(std::string_view address) {
  if (address.starts_with('[')) {
    const std::size_t close = address.find(']');
    if (close != std::string_view::npos) return std::string(address.substr(1, close - 1));
  }
  const std::size_t colon = address.find(':');
  if (colon == std::string_view::npos || address.find(':', colon + 1) != std::string_view::npos) {
    return std::string(address);
  }
  return std::string(address.substr(0, colon));
}

}  // namespace quarbe
