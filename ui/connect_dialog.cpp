#include "ui/connect_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/view_host.h"
#include "platform/cp932.h"
#include "platform/desktop/murelo_conf.h"
#include "ui/resource_ids.h"
#include "ui/ui_texts.h"

namespace murelo {

CConnectDlg::CConnectDlg(CDataDat& settings, uint16_t chatPort, QWidget* owner)
    : CInputDlgBase(settings, owner, kConnectCaption, 143, 107),
      m_browser(new CRoomBrowser(chatPort, this)) {
  // In the template's order, which is also the tab order.
  AddLabel(kNameLabel, 10, 5, 40, 15);
  m_editName = AddEdit(IDC_NAME, 55, 5, 80, 15);
  m_stcHostLabel = AddLabel(kHostLabel, 10, 25, 40, 15);
  m_stcHostLabel->setObjectName(IDC_HOST_LABEL);
  // The host field lists the rooms found on the network, then the recent hosts.
  m_cbHost = AddTypedBox(m_du.Rect(55, 25, 80, 15));
  m_cbHost->setObjectName(IDC_HOST_LIST);
  m_editHost = m_cbHost->lineEdit();
  m_editHost->setObjectName(IDC_HOST);
  m_chkBeServer = new QCheckBox(ToQString(kBeServerCheck), this);
  m_chkBeServer->setObjectName(IDC_BE_SERVER);
  m_chkBeServer->setGeometry(m_du.Rect(55, 45, 75, 10));
  QPushButton* cancel = AddButton(IDCANCEL_BUTTON, kCancelButton, 90, 85, 45, 15);
  m_btnConnect = AddButton(IDC_CONNECT_OK, kConnectButton, 40, 85, 45, 15);
  AddLabel(kColorLabel, 10, 60, 40, 15);
  m_cbColor = AddColorBox(55, 60, 80, 80);

  GrowToFitText(this);

  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(m_btnConnect, &QPushButton::clicked, this, &CConnectDlg::OnConnectButton);
  connect(m_chkBeServer, &QCheckBox::clicked, this, &CConnectDlg::OnBeServer);
  connect(m_cbHost, &QComboBox::activated, this,
          [this](int index) { m_editHost->setText(m_cbHost->itemData(index).toString()); });
  connect(m_browser, &CRoomBrowser::changed, this, &CConnectDlg::FillHostList);
}

void CConnectDlg::OnInitDialog() {
  CInputDlgBase::OnInitDialog();
  m_strHost = m_settings.m_strHost;
  FillHostList();
  m_editHost->setText(ToQString(m_strHost));
  m_chkBeServer->setChecked(m_bServer);
  m_stcHostLabel->setEnabled(!m_bServer);
  m_cbHost->setEnabled(!m_bServer);
}

void CConnectDlg::OnOkCommand() { OnConnectButton(); }

void CConnectDlg::OnConnectButton() {
  m_bServer = m_chkBeServer->isChecked();
  m_strHost = ToCp932(m_editHost->text());
  if (!NameAndColorGiven()) return;
  // The host is cut even for a server, and cut without a fixed buffer, so a host of
  // any length is safe. accept() reads no control again, so the cut text stands.
  m_strHost = CutHostAtFirstBlank(m_strHost);
  m_settings.m_strHost = m_strHost;
  m_settings.m_strName = m_strName;
  m_settings.m_strColor = m_strColor;
  accept();
}

void CConnectDlg::OnBeServer() {
  m_bServer = m_chkBeServer->isChecked();
  m_stcHostLabel->setEnabled(!m_bServer);
  m_cbHost->setEnabled(!m_bServer);
}

void CConnectDlg::FillHostList() {
  const QString typed = m_editHost->text();
  const int cursor = m_editHost->cursorPosition();
  m_cbHost->clear();
  for (const auto& found : m_browser->Rooms()) {
    const CFoundRoom& room = found.second;
    m_cbHost->addItem(u"%1（%2人） %3"_qs.arg(room.strName).arg(room.nMembers).arg(room.strAddress),
                      room.strAddress);
  }
  for (const QString& host : CMureloConf().RecentHosts()) m_cbHost->addItem(host, host);
  m_editHost->setText(typed);
  m_editHost->setCursorPosition(cursor);
}

}  // namespace murelo

#include "moc_connect_dialog.cpp"
