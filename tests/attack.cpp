// The attack suite: the program's window, hosting and then joined, against hostile peers
// on loopback (attack_peers.h). The peers run in a child process, so the memory, the
// descriptors and the boxes this process counts are the program's alone.
//
//   attack [--seconds S] [--max-latency-ms M] [--only ATTACK]
//
// Each timed attack lasts S seconds (default 10). A user answers each box with Enter a
// moment after it opens, and a well-behaved client times the relay of a line every 50 ms.
// The suite fails unless, through every attack, the program lives, no box opens inside
// another, the well-behaved client's lines all come back within M ms (default 100),
// memory and descriptors stay bounded, and once the attack ends one Enter leaves no box
// open. At the end all 20 slots take a newcomer and a line typed in the window reaches
// every one of them. It prints its figures as it goes.
#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "app/settings.h"
#include "attack_peers.h"
#include "gui_support.h"
#include "network_support.h"
#include "platform/markup_warnings.h"
#include "platform/message_box.h"
#include "platform/qt_event_loop.h"
#include "platform/stream_socket.h"
#include "ui/main_frame.h"
#include "ui/resource_ids.h"

namespace murelo {
namespace {

// AddressSanitizer holds freed memory in quarantine, hundreds of megabytes of it: what
// the program itself keeps can only be told from a build without it.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryMeasurable = false;
#elif defined(__has_feature)
constexpr bool kMemoryMeasurable = !__has_feature(address_sanitizer);
#else
constexpr bool kMemoryMeasurable = true;
#endif

constexpr int kUserAnswersEveryMs = 100;
constexpr long kMemoryGrowthLimitKiB = 64 * 1024;
constexpr int kDescriptorGrowthLimit = 64;

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
  }
  return 0;
}

int OpenDescriptors() {
  int count = 0;
  if (DIR* fds = opendir("/proc/self/fd")) {
    while (readdir(fds) != nullptr) ++count;
    closedir(fds);
  }
  return count - 3;  // ".", ".." and the directory's own
}

/// The copy's side: its boxes, answered by a user, and its resources, sampled.
class CWatch {
 public:
  CWatch() {
    SetMessageBoxHook([this](std::string_view, QMessageBox& box) {
      ++m_nShown;
      m_nDeepest = std::max(m_nDeepest, ++m_nDepth);
      QEventLoop open;  // until the user answers
      QObject::connect(&box, &QDialog::finished, &open, &QEventLoop::quit);
      if (box.isVisible()) open.exec();
      --m_nDepth;
    });
    QObject::connect(&m_user, &QTimer::timeout, [] { PressEnterOnBox(); });
    QObject::connect(&m_sampler, &QTimer::timeout, [this] { Sample(); });
    m_sampler.start(20);
    Sample();
  }
  ~CWatch() { SetMessageBoxHook({}); }

  static bool PressEnterOnBox() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box != nullptr) QTest::keyClick(box, Qt::Key_Return);
    return box != nullptr;
  }
  void UserAnswers(bool answering) {
    if (answering) {
      m_user.start(kUserAnswersEveryMs);
    } else {
      m_user.stop();
    }
  }
  void Sample() {
    m_nPeakKiB = std::max(m_nPeakKiB, ResidentKiB());
    m_nPeakFds = std::max(m_nPeakFds, OpenDescriptors());
  }

  int m_nShown = 0;
  int m_nDepth = 0;
  int m_nDeepest = 0;
  long m_nPeakKiB = 0;
  int m_nPeakFds = 0;

 private:
  QTimer m_user;
  QTimer m_sampler;
};

constexpr char kNoAnswer[] = "fail no answer";

/// Talks to the peers' process.
class CPeers {
 public:
  explicit CPeers(int fd) : m_fd(fd) {}
  void Order(const std::string& line) {
    const std::string order = line + "\n";
    if (write(m_fd, order.data(), order.size()) < 0) std::perror("attack");
  }
  /// The next answer, waited for with the event loop turning.
  std::string Answer(int timeoutMs) {
    QEventLoop wait;
    QSocketNotifier readable(m_fd, QSocketNotifier::Read);
    QObject::connect(&readable, &QSocketNotifier::activated, [&] {
      char buffer[256];
      const ssize_t n = read(m_fd, buffer, sizeof buffer);
      if (n > 0) m_strBuffer.append(buffer, static_cast<size_t>(n));
      if (n <= 0 || m_strBuffer.find('\n') != std::string::npos) wait.quit();
    });
    QTimer::singleShot(timeoutMs, &wait, &QEventLoop::quit);
    if (m_strBuffer.find('\n') == std::string::npos) wait.exec();
    const size_t end = m_strBuffer.find('\n');
    if (end == std::string::npos) return kNoAnswer;
    std::string answer = m_strBuffer.substr(0, end);
    m_strBuffer.erase(0, end + 1);
    return answer;
  }

 private:
  int m_fd;
  std::string m_strBuffer;
};

std::map<std::string, std::string> Figures(const std::string& answer) {
  std::map<std::string, std::string> figures;
  std::istringstream words(answer);
  for (std::string word; words >> word;) {
    const size_t eq = word.find('=');
    if (eq != std::string::npos) figures[word.substr(0, eq)] = word.substr(eq + 1);
  }
  return figures;
}

class CSuite {
 public:
  CSuite(CPeers& peers, int seconds, double maxLatencyMs)
      : m_peers(peers), m_nSeconds(seconds), m_dMaxLatencyMs(maxLatencyMs) {}

  /// One attack from order to the end. With act, the peers first answer "ready", then
  /// act does the window's part.
  void Attack(const std::string& title, const std::string& order, CMainFrame& frame,
              const std::function<void()>& act = {}) {
    if (m_bBroken || !order.starts_with(m_strOnly)) return;
    const int shownBefore = m_watch.m_nShown;
    m_watch.m_nDeepest = 0;
    m_watch.UserAnswers(true);
    m_peers.Order(order);
    if (act) {
      const std::string ready = m_peers.Answer(30000);
      Check(ready == "ready", title + ": " + ready);
      act();
    }
    const std::string answer = m_peers.Answer(m_nSeconds * 1000 + 120000);
    m_watch.UserAnswers(false);
    // Without an answer the peers are out of step with the orders: nothing after counts.
    m_bBroken = answer == kNoAnswer;

    // The attack is over: what is still shown goes with one Enter, and nothing follows.
    test::Settle(300);
    CWatch::PressEnterOnBox();
    test::Settle(500);
    const bool usable = QApplication::activeModalWidget() == nullptr && frame.isEnabled();

    std::map<std::string, std::string> figures = Figures(answer);
    const double worst = figures.count("worst_ms") ? std::stod(figures["worst_ms"]) : 0;
    Check(answer.starts_with("ok"), title + ": " + answer);
    Check(m_watch.m_nDeepest <= 1, title + ": a box opened inside another");
    Check(worst <= m_dMaxLatencyMs, title + ": a well-behaved line took too long");
    Check(figures["missed"].empty() || figures["missed"] == "0", title + ": lines lost");
    Check(usable, title + ": a box is still open after one Enter");
    std::printf("attack %-28s boxes %5d, deepest %d, worst relay %6.1f ms (%s)\n",
                (title + ":").c_str(), m_watch.m_nShown - shownBefore, m_watch.m_nDeepest, worst,
                answer.c_str());
    std::fflush(stdout);
  }

  void Check(bool ok, const std::string& what) {
    if (ok) {
      ++m_nPassed;
      return;
    }
    ++m_nFailed;
    std::printf("FAILED: %s\n", what.c_str());
  }

  CWatch m_watch;
  int m_nPassed = 0;
  int m_nFailed = 0;
  std::string m_strOnly;  // runs only the attacks whose order starts with it

 private:
  CPeers& m_peers;
  const int m_nSeconds;
  const double m_dMaxLatencyMs;
  bool m_bBroken = false;
};

void AttackHost(CSuite& suite, int seconds) {
  const uint16_t port = test::FreePort();
  CSettings settings;
  CMainFrame frame(settings, {port, ""});
  frame.Conversation().OnInitialUpdate();
  frame.show();
  test::AnswerConnectDialog(true, "host");
  frame.Conversation().OnConnectCmd();
  suite.Check(frame.Conversation().m_bServer, "the window hosts");

  const std::string timed = " " + std::to_string(port) + " " + std::to_string(seconds);
  suite.Attack("trickle of malformed (host)", "trickle" + timed, frame);
  suite.Attack("500 attempts at a full room", "full" + timed, frame);
  suite.Attack("19 partial frames held", "partial" + timed, frame);
  suite.Attack("64 KiB chunks, no end", "stream" + timed, frame);
  suite.Attack("a peer that never reads", "noread" + timed, frame);
  suite.Attack("5000 connect-send-close", "cycles" + timed, frame);
  suite.Attack("all 20 slots, a typed line", "slots" + timed, frame, [&] {
    QLineEdit* edit = frame.findChild<QLineEdit*>(IDC_INPUT_EDIT);
    edit->setFocus();
    test::TypeText(edit, "still here");
    QTest::keyClick(edit, Qt::Key_Return);
  });
  frame.close();
}

void AttackClient(CSuite& suite, int seconds) {
  for (const char* attack : {"hostile-trickle", "hostile-stream"}) {
    const uint16_t port = test::FreePort();
    CSettings settings;
    CMainFrame frame(settings, {port, ""});
    frame.Conversation().OnInitialUpdate();
    frame.show();
    suite.Attack(std::string(attack) + " (client)",
                 std::string(attack) + " " + std::to_string(port) + " " + std::to_string(seconds),
                 frame, [&] {
                   test::AnswerConnectDialog(false, "guest");
                   frame.Conversation().OnConnectCmd();
                 });
    suite.Check(!frame.Conversation().m_bConnected, std::string(attack) + ": the host is gone");
    frame.close();
  }
}

int Run(int argc, char** argv, CPeers& peers) {
  int seconds = 10;
  double maxLatencyMs = 100;
  std::string only;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--max-latency-ms") == 0) maxLatencyMs = std::atof(argv[i + 1]);
    if (std::strcmp(argv[i], "--only") == 0) only = argv[i + 1];
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  LimitMarkupWarnings();
  QApplication application(argc, argv);
  CQtEventLoop loop;
  test::ScopedTempDir dir;  // the windows' page and settings files
  CSuite suite(peers, seconds, maxLatencyMs);
  suite.m_strOnly = only;
  const long startKiB = ResidentKiB();
  const int startFds = OpenDescriptors();

  AttackHost(suite, seconds);
  AttackClient(suite, seconds);

  CStreamSocket::FinishClosingConnections(1000);
  suite.m_watch.Sample();
  suite.Check(!kMemoryMeasurable || suite.m_watch.m_nPeakKiB - startKiB <= kMemoryGrowthLimitKiB,
              "memory grew");
  suite.Check(suite.m_watch.m_nPeakFds - startFds <= kDescriptorGrowthLimit, "descriptors grew");
  suite.Check(OpenDescriptors() <= startFds + 2, "descriptors left open");
  std::printf("attack peak resident memory: %.1f MB (%.1f MB before the attacks)\n",
              suite.m_watch.m_nPeakKiB / 1024.0, startKiB / 1024.0);
  std::printf("attack peak descriptors: %d (%d before the attacks)\n", suite.m_watch.m_nPeakFds,
              startFds);
  std::printf("attack boxes shown: %d\n", suite.m_watch.m_nShown);
  std::printf("%d passed, %d failed\n", suite.m_nPassed, suite.m_nFailed);
  return suite.m_nFailed == 0 ? 0 : 1;
}

}  // namespace
}  // namespace murelo

int main(int argc, char** argv) {
  int control[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, control) != 0) return 1;
  // The peers' process is made before any thread of Qt's exists.
  const pid_t peers = fork();
  if (peers == 0) {
    close(control[0]);
    _exit(murelo::attack::RunPeers(control[1]));
  }
  close(control[1]);
  murelo::CPeers channel(control[0]);
  const int status = murelo::Run(argc, argv, channel);
  close(control[0]);  // the peers' process ends when its orders do
  waitpid(peers, nullptr, 0);
  return status;
}
