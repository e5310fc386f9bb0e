#include "platform/own_address.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

namespace murelo {

namespace {

std::optional<std::string> DottedIfReachable(const sockaddr* address) {
  if (address == nullptr || address->sa_family != AF_INET) return std::nullopt;
  const in_addr ip = reinterpret_cast<const sockaddr_in*>(address)->sin_addr;
  if ((ntohl(ip.s_addr) >> 24) == 127) return std::nullopt;
  char text[INET_ADDRSTRLEN];
  if (inet_ntop(AF_INET, &ip, text, sizeof text) == nullptr) return std::nullopt;
  return text;
}

std::optional<std::string> FromInterfaces() {
  ifaddrs* interfaces = nullptr;
  if (getifaddrs(&interfaces) != 0) return std::nullopt;
  std::optional<std::string> found;
  for (ifaddrs* entry = interfaces; entry != nullptr && !found; entry = entry->ifa_next) {
    if ((entry->ifa_flags & IFF_UP) && !(entry->ifa_flags & IFF_LOOPBACK)) {
      found = DottedIfReachable(entry->ifa_addr);
    }
  }
  freeifaddrs(interfaces);
  return found;
}

std::optional<std::string> FromHostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return std::nullopt;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* results = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &results) != 0) return std::nullopt;
  std::optional<std::string> found;
  for (addrinfo* entry = results; entry != nullptr && !found; entry = entry->ai_next) {
    found = DottedIfReachable(entry->ai_addr);
  }
  freeaddrinfo(results);
  return found;
}

}  // namespace

std::optional<std::string> FindOwnIpv4Address() {
  if (std::optional<std::string> address = FromInterfaces()) return address;
  return FromHostName();
}

}  // namespace murelo
