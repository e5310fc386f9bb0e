// Shared fixtures of the tests: a scratch current directory and a recording stand-in
// for the window around the chat view.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/view_host.h"

namespace murelo::test {

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

/// Records what the view asks of its window. onMessageBox, when set, runs inside the
/// box as the nested event loop would.
class RecordingHost : public CViewHost {
 public:
  void MessageBox(std::string_view text) override {
    boxes.emplace_back(text);
    if (onMessageBox) onMessageBox(text);
  }
  void Navigate(const std::string& path) override {
    navigations.push_back(path);
    shownPages.push_back(ReadFile(path));
  }
  int LogLimitIndex() const override { return logLimitIndex; }
  void EnableInput(bool enable) override { inputEnabled.push_back(enable); }
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
  /// Runs the task at once, as if the handler had just returned.
  void PostTask(std::function<void()> task) override { task(); }

  std::vector<std::string> boxes;
  std::vector<std::string> navigations;
  std::vector<std::string> shownPages;  // the file's content at each navigation
  std::vector<bool> inputEnabled;
  int settingsLoads = 0;
  int logLimitIndex = 3;
  std::optional<CConnectChoice> connectChoice;      // empty: the dialog is cancelled
  std::optional<CNameColorChoice> nameColorChoice;  // empty: the dialog is cancelled
  std::string inputText;
  std::function<void(std::string_view)> onMessageBox;
};

}  // namespace murelo::test
