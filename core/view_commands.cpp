// The user's chat commands: sending a line, changing name and colour.
#include "core/message_catalog.h"
#include "core/message_format.h"
#include "core/murelo_view.h"

namespace murelo {

void CMureloView::OnSendCmd() {
  if (!m_bConnected) return;  // the typed text stays where it is
  const std::string typed = m_host.InputText();
  if (typed.empty()) return;
  Broadcast(FillFormat(kChatLineFormat, {m_strColor, m_strName, typed, m_szOwnIp}));
  m_host.SetInputText("");
}

void CMureloView::OnChangeNameColorCmd() {
  const std::string oldName = m_strName;
  const std::string oldColor = m_strColor;
  WriteStalePage();  // a dialog is about to open
  CNameColorChoice choice;
  if (!m_host.RunNameColorDialog(choice)) return;
  m_strColor = choice.strColor;
  m_strName = choice.strName;
  Broadcast(FillFormat(kChangeCommandFormat, {oldColor, oldName, m_strColor, m_strName}));
}

}  // namespace murelo
