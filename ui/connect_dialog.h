// CConnectDlg: the connect dialog. It collects handle name,
// colour, host address and whether this copy becomes the server; a confirm stores
// host, name and colour in the settings, and the caller takes all four from the
// members after DoModal returned IDOK. Whether to become the server is not a setting.
#pragma once

#include <string>

#include "core/murelo_view.h"
#include "platform/desktop/room_browser.h"
#include "ui/input_dlg_base.h"

class QCheckBox;

namespace murelo {

class CConnectDlg : public CInputDlgBase {
  Q_OBJECT

 public:
  /// settings must outlive the dialog; owner may be null. The rooms listed are those
  /// on chatPort, the port a pick joins.
  explicit CConnectDlg(CDataDat& settings, uint16_t chatPort = CHAT_PORT, QWidget* owner = nullptr);

  bool m_bServer = false;  // the check box; the dialog always opens unticked
  std::string m_strHost;   // after IDOK: the host text already cut at its first blank

 protected:
  void OnInitDialog() override;
  void OnOkCommand() override;

 private:
  /// The confirm button: name first, then colour, must be given; then the host is cut
  /// and host, name and colour go to the settings, in that order.
  void OnConnectButton();
  /// The check box was clicked: host label and edit are usable only for a client.
  void OnBeServer();

  QLabel* m_stcHostLabel = nullptr;
  /// Lists the rooms found now, then the hosts joined lately, keeping what is typed.
  void FillHostList();

  QComboBox* m_cbHost = nullptr;
  QLineEdit* m_editHost = nullptr;  // the box's edit
  CRoomBrowser* m_browser;
  QCheckBox* m_chkBeServer = nullptr;
  QPushButton* m_btnConnect = nullptr;
};

}  // namespace murelo
