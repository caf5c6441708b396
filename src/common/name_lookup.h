#pragma once
// Why a host name does not resolve. The daemon clients (libgps, Hamlib) say
// only that a connection could not be made, or that the port settings were
// refused; resolving the name again tells the operator whether the name is
// unknown or the network (or its name server) is out of reach.

#include <string>

namespace quarbe {

// Resolves `host` for a TCP connection as the clients do. 0 when it
// resolves, otherwise getaddrinfo's code (EAI_NONAME, EAI_AGAIN, ...). Waits
// for the resolver, seconds at worst: not for the UI thread.
int HostLookupError(const std::string& host);

}  // namespace quarbe
