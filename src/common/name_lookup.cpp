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

}  // namespace quarbe
