// This machine's IPv4 address as peers on the local network would reach it.
#pragma once

#include <optional>
#include <string>

namespace murelo {

/// The first non-loopback IPv4 address of an interface that is up, else the first
/// non-loopback address the host name resolves to, in dotted-decimal text; nothing
/// when neither exists. (Host names commonly resolve to 127.0.1.1, which no peer
/// can reach, so interfaces come first.)
std::optional<std::string> FindOwnIpv4Address();

}  // namespace murelo
