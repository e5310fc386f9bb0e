// What the conversation needs from the window around it. The desktop program implements
// this with Qt widgets; tests implement it with a recorder.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "core/conversation_state.h"

namespace murelo {

/// What a confirmed connect dialog hands back.
struct CConnectChoice {
  bool bServer = false;
  std::string strColor;
  std::string strName;
  std::string strHost;  // already cut at its first blank
};

/// The bytes of a typed host before its first ASCII space (all of it when it has none).
inline std::string CutHostAtFirstBlank(std::string_view host) {
  // No CP932 trail byte is 32, so the first byte 32 is always a real space.
  return std::string(host.substr(0, host.find(' ')));
}

/// What a confirmed name-and-colour dialog hands back.
struct CNameColorChoice {
  std::string strColor;
  std::string strName;
};

class CViewHost {
 public:
  /// Shows text in a modal box with an OK button and the default caption, and returns
  /// once the user has dismissed it. Socket notifications go on being handled while
  /// the box is open, so the view may be re-entered from inside this call.
  virtual void MessageBox(std::string_view text) = 0;

  /// Shows the page file at path in the page view, as the file now reads.
  virtual void Navigate(const std::string& path) = 0;

  /// The display-limit setting; a damaged settings file can make it any value.
  virtual int LogLimitIndex() const = 0;

  /// Enables or disables the input edit and the send button.
  virtual void EnableInput(bool enable) = 0;

  /// Reads the settings file into the application's settings, and writes them back.
  virtual void LoadSettings() = 0;
  virtual void SaveSettings() = 0;

  /// Run the modal dialogs (with nested event loops, like MessageBox); true and the
  /// choice filled when the user confirmed. The dialogs store confirmed values in
  /// the application's settings themselves.
  virtual bool RunConnectDialog(CConnectChoice& choice) = 0;
  virtual bool RunNameColorDialog(CNameColorChoice& choice) = 0;

  /// The text of the input edit (CP932), and replacing it.
  virtual std::string InputText() const = 0;
  virtual void SetInputText(std::string_view text) = 0;

  /// Runs task once from the event loop, after the handler now running has returned.
  virtual void PostTask(std::function<void()> task) = 0;

  /// Told each message text ProcessMessage is about to interpret, before anything
  /// else happens to it. For tools that record what a copy took part in; the window
  /// ignores it.
  virtual void MessageArrived(std::string_view) {}
  /// Told each display message once it is in the log, as the page will show it;
  /// fromPeer is false for what this copy's own steps made (its notices, and a host's
  /// own lines), true for what came over a connection.
  virtual void EntryLogged(const LogEntry& /*entry*/, bool /*fromPeer*/) {}
  /// Told, when it changes, whether this copy listens for clients, under which name,
  /// and how many active participant rows the room has.
  virtual void RoomChanged(bool /*hosting*/, const std::string& /*name*/, int /*members*/) {}

 protected:
  ~CViewHost() = default;
};

}  // namespace murelo
