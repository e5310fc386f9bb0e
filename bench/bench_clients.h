// What the relay benchmarks' clients share: a connection to the relay on loopback, chat
// lines that carry their send time, and percentiles of what they measured.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/message_catalog.h"
#include "core/message_format.h"
#include "core/wire_format.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

inline int ConnectTo(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    std::perror("connect");
    std::exit(1);
  }
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return fd;
}

/// A chat line from client `from`, carrying its send time.
inline std::string WireLine(int from, int64_t sentNs) {
  const std::string typed = "@" + std::to_string(sentNs) +
                            "@ \x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd\x81\x41\x8d\xa1\x93\xfa";
  return murelo::EncodeMessage(murelo::FillFormat(
      murelo::kChatLineFormat, {"#00ffff", "c" + std::to_string(from), typed, "127.0.0.1"}));
}

/// The send time inside a decoded-on-the-fly wire message, or -1.
inline int64_t SentNs(std::string_view wire) {
  // "@" encodes as 'A'; the digits as digits + 1.
  const size_t start = wire.find('A');
  if (start == std::string_view::npos) return -1;
  int64_t value = 0;
  for (size_t i = start + 1; i < wire.size() && wire[i] != 'A'; ++i)
    value = value * 10 + (wire[i] - '1');
  return value;
}

inline double Percentile(std::vector<double> samples, double fraction) {
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  return samples[static_cast<size_t>(fraction * static_cast<double>(samples.size() - 1))];
}

}  // namespace bench
