// The program's message boxes: a fixed text, an OK button or Yes and No, the program's
// name as caption. A box runs a nested event loop, so socket notifications and timers go on
// being handled while it is open, and the caller may find its state changed on return.
#pragma once

#include <functional>
#include <string_view>

class QMessageBox;
class QWidget;

namespace murelo {

/// Shows the CP932 text in a modal box owned by owner (null for none) and returns once
/// it has been dismissed. owner may be destroyed while the box is open.
void ShowMessageBox(QWidget* owner, std::string_view cp932Text);

/// As ShowMessageBox, with Yes and No; whether Yes was pressed. No is the default, and
/// closing the box answers it.
bool AskYesOrNo(QWidget* owner, std::string_view cp932Text);

/// Called inside each box's event loop once the box is up, with its text and the box;
/// when it returns, a box still open is closed as if OK, or No, had been pressed.
using MessageBoxHook = std::function<void(std::string_view cp932Text, QMessageBox& box)>;

/// For tests: hook answers every box from now on; an empty hook restores real boxes.
void SetMessageBoxHook(MessageBoxHook hook);

}  // namespace murelo
