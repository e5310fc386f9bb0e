#include "platform/posix/fd_watch_set.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <span>

namespace murelo {

namespace {

// A peer's close is asked for apart from data, so that a readable report without it is
// known to have bytes waiting.
constexpr uint32_t kEventOf[2] = {EPOLLIN | EPOLLRDHUP, EPOLLOUT};
constexpr uint32_t kEndOrError = EPOLLRDHUP | EPOLLHUP | EPOLLERR;

int IndexOf(CEventLoop::Readiness readiness) {
  return readiness == CEventLoop::Readiness::kReadable ? 0 : 1;
}

}  // namespace

class CFdWatchSet::CWatch : public CFdWatch {
 public:
  CWatch(CFdWatchSet& set, int fd, int index, CEventLoop::OnReady onReady)
      : m_pSet(&set),
        m_fd(fd),
        m_nIndex(index),
        m_onReady(std::make_shared<CEventLoop::OnReady>(std::move(onReady))) {}
  ~CWatch() override {
    if (m_pSet) m_pSet->Forget(*this);
  }
  CWatch(const CWatch&) = delete;
  CWatch& operator=(const CWatch&) = delete;

  void SetEnabled(bool enabled) override {
    if (enabled == m_bEnabled) return;
    m_bEnabled = enabled;
    if (enabled && m_pSet) m_pSet->Enable(*this);  // switching off waits for a report
  }

  CFdWatchSet* m_pSet;  // null once the set is gone
  const int m_fd;
  const int m_nIndex;
  bool m_bEnabled = false;
  // Shared with a call under way, so that a watch destroyed from inside its own callback
  // leaves the running callback intact.
  const std::shared_ptr<CEventLoop::OnReady> m_onReady;
};

CFdWatchSet::CFdWatchSet(std::function<void()> requestDispatch)
    : m_epollFd(epoll_create1(EPOLL_CLOEXEC)), m_requestDispatch(std::move(requestDispatch)) {}

CFdWatchSet::~CFdWatchSet() {
  for (auto& [fd, entry] : m_entries)
    for (CWatch* watch : entry.watches)
      if (watch) watch->m_pSet = nullptr;
  if (m_epollFd >= 0) close(m_epollFd);
}

std::unique_ptr<CFdWatch> CFdWatchSet::Watch(int fd, CEventLoop::Readiness readiness,
                                             CEventLoop::OnReady onReady) {
  const auto [found, added] = m_entries.try_emplace(fd);
  CEntry& entry = found->second;
  if (added) entry.nGeneration = ++m_nGenerations;
  const int index = IndexOf(readiness);
  if (entry.watches[index]) entry.watches[index]->m_pSet = nullptr;  // replaced
  auto watch = std::make_unique<CWatch>(*this, fd, index, std::move(onReady));
  entry.watches[index] = watch.get();
  return watch;
}

uint32_t CFdWatchSet::WantedEvents(const CEntry& entry) const {
  uint32_t wanted = 0;
  for (int index = 0; index < 2; ++index)
    if (entry.watches[index] && entry.watches[index]->m_bEnabled) wanted |= kEventOf[index];
  return wanted;
}

void CFdWatchSet::Apply(int fd, CEntry& entry) {
  if (entry.bAlwaysReady) return;
  const uint32_t wanted = WantedEvents(entry);
  if (wanted == entry.nKernelEvents) return;
  epoll_event event{wanted, {.u64 = uint64_t{entry.nGeneration} << 32 | uint32_t(fd)}};
  if (wanted == 0) {
    epoll_ctl(m_epollFd, EPOLL_CTL_DEL, fd, nullptr);  // gone already if fd was closed
    entry.nKernelEvents = 0;
    return;
  }
  int result =
      epoll_ctl(m_epollFd, entry.nKernelEvents == 0 ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, fd, &event);
  // A descriptor closed under its watch left the set with it; one opened again under the
  // same number may be in it already.
  if (result != 0 && errno == ENOENT) result = epoll_ctl(m_epollFd, EPOLL_CTL_ADD, fd, &event);
  if (result != 0 && errno == EEXIST) result = epoll_ctl(m_epollFd, EPOLL_CTL_MOD, fd, &event);
  if (result == 0) {
    entry.nKernelEvents = wanted;
    return;
  }
  // A regular file or /dev/null (EPERM), or no room in the set: taken as always ready,
  // which is what poll says of a file, so that no watch goes deaf.
  entry.bAlwaysReady = true;
  entry.nKernelEvents = 0;
  ++m_nAlwaysReady;
  m_requestDispatch();
}

void CFdWatchSet::Enable(CWatch& watch) {
  const auto found = m_entries.find(watch.m_fd);
  if (found == m_entries.end() || found->second.watches[watch.m_nIndex] != &watch) return;
  CEntry& entry = found->second;
  if (entry.bAlwaysReady) return m_requestDispatch();
  if (!(entry.nKernelEvents & kEventOf[watch.m_nIndex])) Apply(watch.m_fd, entry);
}

void CFdWatchSet::Forget(CWatch& watch) {
  const auto found = m_entries.find(watch.m_fd);
  if (found == m_entries.end() || found->second.watches[watch.m_nIndex] != &watch) return;
  CEntry& entry = found->second;
  entry.watches[watch.m_nIndex] = nullptr;
  if (entry.watches[0] || entry.watches[1]) return;  // the other's next report trims it
  if (entry.nKernelEvents != 0) epoll_ctl(m_epollFd, EPOLL_CTL_DEL, watch.m_fd, nullptr);
  if (entry.bAlwaysReady) --m_nAlwaysReady;
  m_entries.erase(found);
}

void CFdWatchSet::Fire(int fd, uint32_t generation, CEventLoop::Readiness readiness,
                       bool bytesWaiting) {
  const auto found = m_entries.find(fd);
  if (found == m_entries.end() || found->second.nGeneration != generation) return;
  const CWatch* watch = found->second.watches[IndexOf(readiness)];
  if (!watch || !watch->m_bEnabled) return;
  const std::shared_ptr<CEventLoop::OnReady> onReady = watch->m_onReady;
  (*onReady)(bytesWaiting);
}

void CFdWatchSet::Dispatch() {
  // Any callback may destroy or replace any watch, so each report is looked up afresh
  // before it is acted on. A callback may also run a nested loop that dispatches the
  // same reports; what is left of this batch is then stale, and epoll, being level-
  // triggered, reports again whatever is still ready.
  const uint64_t dispatch = ++m_nDispatches;
  epoll_event events[kEventsPerDispatch];
  int count = std::exchange(m_nKeptReady, -1);
  if (count >= 0)
    std::copy_n(m_keptReady, count, events);  // a nested dispatch may overwrite the kept ones
  else
    count = epoll_wait(m_epollFd, events, kEventsPerDispatch, 0);
  for (int i = 0; i < count && m_nDispatches == dispatch; ++i) {
    const int fd = static_cast<int>(events[i].data.u64 & 0xffffffffu);
    const auto generation = static_cast<uint32_t>(events[i].data.u64 >> 32);
    if (generation == 0) continue;  // one of the loop's own descriptors
    const uint32_t got = events[i].events;
    if (got & (EPOLLIN | kEndOrError))
      Fire(fd, generation, CEventLoop::Readiness::kReadable, !(got & kEndOrError));
    if (m_nDispatches != dispatch) return;
    if (got & (EPOLLOUT | EPOLLHUP | EPOLLERR))
      Fire(fd, generation, CEventLoop::Readiness::kWritable, false);
    // Interest kept for a watch switched off since is dropped, now that it has shown.
    if (const auto found = m_entries.find(fd);
        found != m_entries.end() && found->second.nGeneration == generation)
      Apply(fd, found->second);
  }
  if (m_nAlwaysReady == 0 || m_nDispatches != dispatch) return;
  // A descriptor epoll refused is ready while it is wanted, and asks for another turn.
  std::vector<std::pair<int, uint32_t>> ready;
  for (const auto& [fd, entry] : m_entries)
    if (entry.bAlwaysReady && WantedEvents(entry) != 0) ready.emplace_back(fd, entry.nGeneration);
  for (const auto& [fd, generation] : ready) {
    if (m_nDispatches != dispatch) return;
    Fire(fd, generation, CEventLoop::Readiness::kReadable, false);
    Fire(fd, generation, CEventLoop::Readiness::kWritable, false);
  }
  if (!ready.empty()) m_requestDispatch();  // one that has been switched off meanwhile stops it
}

int CFdWatchSet::Poll(pollfd* fds, size_t count, int timeoutMs) {
  pollfd* own = nullptr;
  bool shared = false;
  for (size_t i = 0; i < count; ++i) {
    if (fds[i].fd == m_epollFd) {
      own = &fds[i];
    } else if (m_entries.contains(fds[i].fd)) {
      // Watched by the set as well: its interest is the watch's now, and is taken
      // afresh for the loop once the watch has gone.
      shared = true;
      std::erase_if(m_loopFds, [&](const CLoopFd& loopFd) { return loopFd.fd == fds[i].fd; });
    }
  }
  m_nKeptReady = -1;
  if (!own || shared || !TakeLoopFds(fds, count)) return poll(fds, count, timeoutMs);
  const int got = epoll_wait(m_epollFd, m_keptReady, kEventsPerDispatch, timeoutMs);
  if (got < 0) return -1;
  m_nKeptReady = got;
  const std::span<const epoll_event> reports(m_keptReady, static_cast<size_t>(got));
  // The set's own descriptor is readable while a watch has a report (generation not 0).
  const bool watchReady =
      std::ranges::any_of(reports, [](const epoll_event& report) { return report.data.u64 >> 32; });
  int ready = 0;
  for (pollfd& entry : std::span(fds, count)) {
    entry.revents = static_cast<short>(&entry == own && watchReady ? POLLIN : 0);
    for (const epoll_event& report : reports)
      if (&entry != own && report.data.u64 == uint32_t(entry.fd))
        entry.revents |= static_cast<short>(report.events);
    entry.revents &= static_cast<short>(entry.events | POLLERR | POLLHUP);
    if (entry.revents != 0) ++ready;
  }
  return ready;
}

bool CFdWatchSet::TakeLoopFds(const pollfd* fds, size_t count) {
  m_wantedLoopFds.clear();
  for (size_t i = 0; i < count; ++i) {
    if (fds[i].fd == m_epollFd || fds[i].fd < 0) continue;
    const auto events = static_cast<uint32_t>(fds[i].events & (POLLIN | POLLPRI | POLLOUT));
    const auto same = std::ranges::find(m_wantedLoopFds, fds[i].fd, &CLoopFd::fd);
    struct stat file;
    if (same != m_wantedLoopFds.end())
      same->events |= events;
    else if (fstat(fds[i].fd, &file) == 0)
      m_wantedLoopFds.push_back({fds[i].fd, events, file.st_dev, file.st_ino});
    else
      return false;  // not open: poll(2) says so
  }
  if (m_wantedLoopFds == m_loopFds) return true;  // as at nearly every turn
  for (const CLoopFd& loopFd : m_loopFds)
    if (std::ranges::find(m_wantedLoopFds, loopFd.fd, &CLoopFd::fd) == m_wantedLoopFds.end() &&
        !m_entries.contains(loopFd.fd))  // closed by the loop, and the number a watch's now
      epoll_ctl(m_epollFd, EPOLL_CTL_DEL, loopFd.fd, nullptr);  // gone already if closed
  m_loopFds.clear();
  bool taken = true;
  for (const CLoopFd& loopFd : m_wantedLoopFds) {
    epoll_event event{loopFd.events, {.u64 = uint32_t(loopFd.fd)}};
    // A descriptor closed and opened again under the same number has left the set.
    if (epoll_ctl(m_epollFd, EPOLL_CTL_MOD, loopFd.fd, &event) != 0 &&
        epoll_ctl(m_epollFd, EPOLL_CTL_ADD, loopFd.fd, &event) != 0) {
      taken = false;  // a regular file: poll says it is always ready
      continue;
    }
    m_loopFds.push_back(loopFd);
  }
  return taken;
}

}  // namespace murelo
