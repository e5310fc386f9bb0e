// What the chat view needs from the window around it. The desktop program implements
// this with Qt widgets; tests implement it with a recorder.
#pragma once

#include <string>
#include <string_view>

namespace murelo {

class CViewHost {
 public:
  /// Shows text in a modal box with an OK button and the default caption, and returns
  /// once the user has dismissed it. Socket notifications go on being handled while
  /// the box is open, so the view may be re-entered from inside this call.
  virtual void MessageBox(std::string_view text) = 0;

  /// Shows the page file at path in the chat view, as the file now reads.
  virtual void Navigate(const std::string& path) = 0;

  /// The display-limit setting; a damaged settings file can make it any value.
  virtual int LogLimitIndex() const = 0;

  /// Enables or disables the input edit and the send button.
  virtual void EnableInput(bool enable) = 0;

  /// Reads the settings file into the application's settings.
  virtual void LoadSettings() = 0;

 protected:
  ~CViewHost() = default;
};

}  // namespace murelo
