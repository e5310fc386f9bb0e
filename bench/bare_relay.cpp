// The physical limit of a star relay on this machine: an epoll server on loopback that
// takes up to 20 clients and sends every whole message (NUL-terminated) it reads to all
// of them, its sender too, as murelo's host does; it keeps no page and parses nothing.
// A client that does not read gets its messages queued without bound.
//
//   bare_relay PORT
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kClients = 20;

struct Client {
  int fd = -1;
  std::string partial;  // the message under way
  std::string unsent;
  bool watchingOut = false;  // whether epoll reports writability
};

void Flush(Client& client, int epoll) {
  while (!client.unsent.empty()) {
    const ssize_t sent = send(client.fd, client.unsent.data(), client.unsent.size(), MSG_NOSIGNAL);
    if (sent <= 0) break;
    client.unsent.erase(0, static_cast<size_t>(sent));
  }
  // Only a change of interest costs a system call.
  if (client.watchingOut == !client.unsent.empty()) return;
  client.watchingOut = !client.watchingOut;
  epoll_event event{EPOLLIN | (client.watchingOut ? EPOLLOUT : 0u), {.fd = client.fd}};
  epoll_ctl(epoll, EPOLL_CTL_MOD, client.fd, &event);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  const int on = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[1])));
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 64) != 0) {
    std::perror("bare_relay");
    return 1;
  }
  const int epoll = epoll_create1(0);
  epoll_event listening{EPOLLIN, {.fd = listener}};
  epoll_ctl(epoll, EPOLL_CTL_ADD, listener, &listening);
  std::vector<Client> clients(kClients);
  std::vector<char> buffer(1 << 16);
  epoll_event events[64];
  for (;;) {
    const int count = epoll_wait(epoll, events, 64, -1);
    for (int e = 0; e < count; ++e) {
      const int fd = events[e].data.fd;
      if (fd == listener) {
        const int accepted = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK);
        for (Client& client : clients) {
          if (client.fd >= 0 || accepted < 0) continue;
          setsockopt(accepted, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
          client = {accepted, {}, {}, false};
          epoll_event event{EPOLLIN, {.fd = accepted}};
          epoll_ctl(epoll, EPOLL_CTL_ADD, accepted, &event);
          break;
        }
        continue;
      }
      Client* from = nullptr;
      for (Client& client : clients)
        if (client.fd == fd) from = &client;
      if (!from) continue;
      if (events[e].events & EPOLLOUT) Flush(*from, epoll);
      if (!(events[e].events & (EPOLLIN | EPOLLHUP | EPOLLERR))) continue;
      const ssize_t got = recv(fd, buffer.data(), buffer.size(), 0);
      if (got <= 0) {
        close(fd);
        *from = {};
        continue;
      }
      from->partial.append(buffer.data(), static_cast<size_t>(got));
      const size_t end = from->partial.rfind('\0');
      if (end == std::string::npos) continue;
      // Whole messages only, so that no two senders' bytes interleave.
      const std::string whole = from->partial.substr(0, end + 1);
      from->partial.erase(0, end + 1);
      for (Client& client : clients) {
        if (client.fd < 0) continue;
        client.unsent += whole;
        Flush(client, epoll);
      }
    }
  }
}
