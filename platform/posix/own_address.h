// This machine's IPv4 address as peers on the local network would reach it.
#pragma once

#include <string>

namespace murelo {

struct COwnAddress {
  std::string strDotted;
  bool bHostNameRead;  // false: the host name could not be read, a fault worth telling
};

/// In dotted-decimal text: the first non-loopback IPv4 address of an interface that is
/// up, else the first address the host name resolves to, else 127.0.0.1. (Host names
/// commonly resolve to 127.0.1.1, which no peer can reach, so interfaces come first; a
/// machine that is offline still chats with itself under the lookup's address.)
COwnAddress FindOwnIpv4Address();

}  // namespace murelo
