#include "platform/posix/own_address.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <optional>

namespace murelo {

namespace {

std::optional<std::string> Dotted(const sockaddr* address) {
  if (address == nullptr || address->sa_family != AF_INET) return std::nullopt;
  const in_addr ip = reinterpret_cast<const sockaddr_in*>(address)->sin_addr;
  char text[INET_ADDRSTRLEN];
  if (inet_ntop(AF_INET, &ip, text, sizeof text) == nullptr) return std::nullopt;
  return text;
}

bool IsLoopback(const sockaddr* address) {
  const in_addr ip = reinterpret_cast<const sockaddr_in*>(address)->sin_addr;
  return (ntohl(ip.s_addr) >> 24) == 127;
}

std::optional<std::string> FromInterfaces() {
  ifaddrs* interfaces = nullptr;
  if (getifaddrs(&interfaces) != 0) return std::nullopt;
  std::optional<std::string> found;
  for (ifaddrs* entry = interfaces; entry != nullptr && !found; entry = entry->ifa_next) {
    if ((entry->ifa_flags & IFF_UP) && (entry->ifa_flags & IFF_RUNNING) &&
        !(entry->ifa_flags & IFF_LOOPBACK) && entry->ifa_addr != nullptr &&
        entry->ifa_addr->sa_family == AF_INET && !IsLoopback(entry->ifa_addr)) {
      found = Dotted(entry->ifa_addr);
    }
  }
  freeifaddrs(interfaces);
  return found;
}

std::optional<std::string> FromHostName(const char* name) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* results = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &results) != 0) return std::nullopt;
  std::optional<std::string> found = Dotted(results->ai_addr);
  freeaddrinfo(results);
  return found;
}

}  // namespace

COwnAddress FindOwnIpv4Address() {
  char name[256] = {};
  const bool nameRead = gethostname(name, sizeof name - 1) == 0;
  if (std::optional<std::string> address = FromInterfaces()) return {*address, nameRead};
  if (nameRead) {
    if (std::optional<std::string> address = FromHostName(name)) return {*address, true};
  }
  return {"127.0.0.1", nameRead};
}

}  // namespace murelo
