// CTestHost: the window around a chat view, for tests, fuzz targets and benchmarks.
#pragma once

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/view_host.h"
#include "platform/event_loop.h"
#include "scratch.h"

namespace murelo::test {

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
  void Navigate(const std::string& path) override {
    ++navigations;
    navigationsInsideBoxes += boxDepth > 0;
    if (recordPages) shownPages.push_back(ReadFile(path));
  }
  int LogLimitIndex() const override { return logLimitIndex; }
  void EnableInput(bool enable) override { inputEnabled = enable; }
  void LoadSettings() override { ++settingsLoads; }
  bool RunConnectDialog(CConnectChoice& choice) override { return Answer(connectChoice, choice); }
  bool RunNameColorDialog(CNameColorChoice& choice) override {
    return Answer(nameColorChoice, choice);
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
    messagesInsideBoxes += boxDepth > 0;
  }

  std::vector<std::string> boxes;
  std::function<void(std::string_view)> onMessageBox;
  int boxDepth = 0;
  int maxBoxDepth = 0;
  int navigations = 0;
  int navigationsInsideBoxes = 0;  // pages shown while a box was open
  bool recordPages = false;
  std::vector<std::string> shownPages;  // the file's content at each navigation, if recorded
  bool recordMessages = false;
  std::vector<std::string> messages;  // every text interpreted, if recorded
  int messagesInsideBoxes = 0;        // texts interpreted while a box was open
  bool inputEnabled = false;
  int settingsLoads = 0;
  int logLimitIndex = 3;
  std::optional<CConnectChoice> connectChoice;      // empty: the dialog is cancelled
  std::optional<CNameColorChoice> nameColorChoice;  // empty: the dialog is cancelled
  std::string inputText;

 private:
  template <typename Choice>
  static bool Answer(const std::optional<Choice>& answer, Choice& choice) {
    if (answer) choice = *answer;
    return answer.has_value();
  }
};

}  // namespace murelo::test
