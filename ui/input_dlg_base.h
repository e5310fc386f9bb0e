// CInputDlgBase: what the connect dialog and the name-and-colour dialog share: a
// fixed-size window laid out from a template in dialog units, the name edit, the
// colour box over the colour table, Enter as the confirm command, and DoModal.
//
// Both dialogs are created on their caller's stack for one modal run. They read the
// settings when the run starts and write them only from a confirm that passed its
// tests; any other end (cancel, Escape, close box) changes nothing.
#pragma once

#include <QDialog>
#include <string>
#include <string_view>

#include "app/data_dat.h"
#include "ui/dialog_units.h"

class QComboBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

namespace murelo {

class CInputDlgBase : public QDialog {
  Q_OBJECT

 public:
  /// Fills the dialog from the settings (OnInitDialog) and runs it in a nested event
  /// loop. IDOK when a confirm passed its tests, else IDCANCEL.
  int DoModal();

  std::string m_strColor;  // the colour value being edited: never exchanged as text
  std::string m_strName;   // the handle name, read from the name edit

 protected:
  /// settings must outlive the dialog; owner may be null. width and height are the
  /// template's size in dialog units.
  CInputDlgBase(CDataDat& settings, QWidget* owner, std::string_view cp932Caption, int width,
                int height);

  /// The colour box shows the stored colour value itself (not a list item), and
  /// m_strColor and m_strName start from the settings; the name edit gets the focus.
  virtual void OnInitDialog();

  /// What the command IDOK runs (Enter anywhere in the dialog): the confirm handler.
  virtual void OnOkCommand() = 0;

  /// Reads the name edit into m_strName. When it is empty, or else when m_strColor is,
  /// tells the user so in a box and returns false; the dialog stays open as it was.
  bool NameAndColorGiven();

  // Template controls, created in tab order; positions and sizes in dialog units.
  QLabel* AddLabel(std::string_view cp932Text, int left, int top, int width, int height);
  QLineEdit* AddEdit(const char* id, int left, int top, int width, int height);
  QPushButton* AddButton(const char* id, std::string_view cp932Text, int left, int top, int width,
                         int height);
  /// The colour box, listing the colour table and wired to its two handlers.
  QComboBox* AddColorBox(int left, int top, int width, int height);
  /// An editable box at place (pixels) that takes typed text as it is: no completion,
  /// no item picked because the text matches it, Enter the dialog's IDOK command.
  QComboBox* AddTypedBox(const QRect& place);

  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

  CDataDat& m_settings;
  const CDialogUnits m_du;
  QComboBox* m_cbColor = nullptr;
  QLineEdit* m_editName = nullptr;

 private:
  /// Enter without modifiers (or on the keypad).
  static bool IsEnterKey(const QKeyEvent& event);
  /// A list item picked: its table value becomes the colour; no item, no change.
  void OnSelchangeColor(int index);
  /// The user changed the box's text: it becomes the colour exactly as it stands.
  void OnEditchangeColor(const QString& text);
};

}  // namespace murelo
