// CTestHost: the window around a conversation, for tests, fuzz targets and benchmarks; and
// a scratch directory made the current one.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/view_host.h"
#include "platform/posix/event_loop.h"
#include "platform/posix/plain_file.h"

namespace murelo::test {

/// Makes a fresh directory the current one for its lifetime, then restores the previous
/// one and removes it with everything in it.
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

/// The whole content of the regular file at path, or an empty string for anything else.
inline std::string ReadFile(const std::filesystem::path& path) {
  return ReadRegularFile(path, SIZE_MAX).value_or("");
}

/// Records what the view asks of its window and answers as told. Posted tasks go to the
/// event loop when one is installed, and run at once otherwise, as if the handler had
/// just returned.
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
  void Navigate(const std::string&) override {
    ++navigations;
    navigationsInsideBoxes += boxDepth > 0;
  }
  int LogLimitIndex() const override { return logLimitIndex; }
  void EnableInput(bool enable) override { inputEnabled = enable; }
  void LoadSettings() override {}
  void SaveSettings() override {}
  bool RunConnectDialog(CConnectChoice& choice) override {
    return connectChoice && (choice = *connectChoice, true);
  }
  bool RunNameColorDialog(CNameColorChoice& choice) override {
    return nameColorChoice && (choice = *nameColorChoice, true);
  }
  std::string InputText() const override { return inputText; }
  void SetInputText(std::string_view text) override { inputText = text; }
  void PostTask(std::function<void()> task) override {
    EventLoopInstalled() ? EventLoop().Post(std::move(task)) : task();
  }
  void EntryLogged(const LogEntry& entry, bool fromPeer) override {
    if (fromPeer) peerEntries.push_back(entry.strHtml);
  }
  void MessageArrived(std::string_view text) override {
    if (recordMessages) messages.emplace_back(text);
    messagesInsideBoxes += boxDepth > 0;
  }

  std::vector<std::string> boxes;
  std::function<void(std::string_view)> onMessageBox;
  int boxDepth = 0;
  int maxBoxDepth = 0;
  int navigations = 0;
  int navigationsInsideBoxes = 0;  // pages shown while a box was open
  bool recordMessages = false;
  std::vector<std::string> messages;     // every text interpreted, if recorded
  int messagesInsideBoxes = 0;           // texts interpreted while a box was open
  std::vector<std::string> peerEntries;  // display messages that came over a connection
  bool inputEnabled = false;
  int logLimitIndex = 3;
  std::optional<CConnectChoice> connectChoice;      // empty: the dialog is cancelled
  std::optional<CNameColorChoice> nameColorChoice;  // empty: the dialog is cancelled
  std::string inputText;
};

}  // namespace murelo::test
