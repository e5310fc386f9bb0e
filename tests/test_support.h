// Shared fixtures of the tests: a scratch current directory and the stand-in for the
// window around the chat view.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/view_host.h"
#include "platform/event_loop.h"

namespace murelo::test {

/// The address of port on this machine's loopback interface.
inline sockaddr_in LoopbackAddress(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

/// A TCP port that was free a moment ago.
inline uint16_t FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = LoopbackAddress(0);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t size = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  close(fd);
  return ntohs(address.sin_port);
}

/// Makes a fresh directory the current one for the test's lifetime, then restores the
/// previous one and removes it with everything in it.
class ScopedTempDir {
 public:
  ScopedTempDir() : m_previous(std::filesystem::current_path()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "murelo-XXXXXX").string();
    m_path = mkdtemp(pattern.data());
    std::filesystem::current_path(m_path);
  }
  ~ScopedTempDir() {
    std::filesystem::current_path(m_previous);
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::filesystem::path& path() const { return m_path; }

 private:
  std::filesystem::path m_previous;
  std::filesystem::path m_path;
};

/// The whole content of a file, or an empty string when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return {};
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// The window around a chat view, for tests, fuzz targets and benchmarks: records what
/// the view asks of it and answers as told. Posted tasks go to the event loop when one
/// is installed, and run at once otherwise, as if the handler had just returned.
class CTestHost : public CViewHost {
 public:
  /// Runs onMessageBox, when set, inside the box as its nested loop would. A box inside
  /// another is answered at once, so boxes that nest show in maxBoxDepth rather than as a
  /// stack that keeps growing.
  void MessageBox(std::string_view text) override {
    boxes.emplace_back(text);
    maxBoxDepth = std::max(maxBoxDepth, ++boxDepth);
    if (onMessageBox && boxDepth == 1) onMessageBox(text);
    --boxDepth;
  }
  void Navigate(const std::string& path) override {
    ++navigations;
    if (boxDepth > 0) ++navigationsInsideBoxes;
    lastNavigation = path;
    if (recordPages) shownPages.push_back(ReadFile(path));
  }
  int LogLimitIndex() const override { return logLimitIndex; }
  void EnableInput(bool enable) override {
    inputEnabled = enable;
    ++inputSwitches;
  }
  void LoadSettings() override { ++settingsLoads; }
  bool RunConnectDialog(CConnectChoice& choice) override {
    if (!connectChoice) return false;
    choice = *connectChoice;
    return true;
  }
  bool RunNameColorDialog(CNameColorChoice& choice) override {
    if (!nameColorChoice) return false;
    choice = *nameColorChoice;
    return true;
  }
  std::string InputText() const override { return inputText; }
  void SetInputText(std::string_view text) override { inputText = text; }
  void PostTask(std::function<void()> task) override {
    if (EventLoopInstalled()) {
      EventLoop().Post(std::move(task));
    } else {
      task();
    }
  }
  void MessageArrived(std::string_view text) override {
    if (recordMessages) messages.emplace_back(text);
    if (boxDepth > 0) ++messagesInsideBoxes;
  }

  std::vector<std::string> boxes;
  std::function<void(std::string_view)> onMessageBox;
  int boxDepth = 0;
  int maxBoxDepth = 0;
  int navigations = 0;
  int navigationsInsideBoxes = 0;  // pages shown while a box was open
  std::string lastNavigation;
  bool recordPages = false;
  std::vector<std::string> shownPages;  // the file's content at each navigation, if recorded
  bool recordMessages = false;
  std::vector<std::string> messages;  // every text interpreted, if recorded
  int messagesInsideBoxes = 0;        // texts interpreted while a box was open
  bool inputEnabled = false;
  int inputSwitches = 0;
  int settingsLoads = 0;
  int logLimitIndex = 3;
  std::optional<CConnectChoice> connectChoice;      // empty: the dialog is cancelled
  std::optional<CNameColorChoice> nameColorChoice;  // empty: the dialog is cancelled
  std::string inputText;
};

}  // namespace murelo::test
