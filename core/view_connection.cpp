// Hosting, joining and leaving a conversation.
#include <utility>

#include "core/message_catalog.h"
#include "core/message_format.h"
#include "core/murelo_view.h"
#include "platform/posix/own_address.h"
#include "platform/posix/plain_file.h"
#include "ui/page_writer.h"

namespace murelo {

void CMureloView::OnConnectCmd() {
  WriteStalePage();  // a dialog is about to open
  CConnectChoice choice;
  if (!m_host.RunConnectDialog(choice)) return;

  m_bServer = choice.bServer;
  m_strColor = choice.strColor;
  m_strName = choice.strName;
  m_strHost = choice.strHost;
  FindOwnAddress();
  ResetMembers();
  CloseAllSockets();

  if (m_bServer) {
    if (!m_Listener.Create(m_options.nChatPort) || !m_Listener.Listen(kListenBacklog)) {
      // Another program holds the port: say so rather than announce a host nobody
      // can reach.
      m_Listener.Close();
      m_bServer = false;
      ShowBox(kBoxListenFailed);
      return;
    }
    ProcessMessage(FillFormat(kHostingNoticeFormat, {m_szOwnIp, m_szOwnIp}));
    return;
  }
  CPeerSocket& server = m_Peers[0];
  server.StartConnection();
  if (server.Create(0)) server.Connect(m_strHost, m_options.nChatPort);
}

void CMureloView::FindOwnAddress() {
  COwnAddress own = FindOwnIpv4Address();
  if (!own.bHostNameRead) ShowBox(kBoxOwnAddressFailed);
  m_szOwnIp = std::move(own.strDotted);
}

void CMureloView::CloseAllSockets() {
  EndStay();
  m_Listener.Close();
  ReportRoom();
  for (CPeerSocket& peer : m_Peers) {
    peer.Close();
    peer.m_bInUse = 0;
  }
  if (m_bConnected) {
    m_bConnected = false;
    m_host.EnableInput(false);
  }
}

bool CMureloView::AnySlotInUse() const {
  for (const CPeerSocket& peer : m_Peers) {
    if (peer.m_bInUse) return true;
  }
  return false;
}

void CMureloView::HandleAccept() {
  int slot = -1;  // the free slot with the highest index
  for (int i = 0; i < kPeerSlots; ++i) {
    if (!m_Peers[i].m_bInUse) slot = i;
  }
  if (slot < 0) {
    // Refused before the box opens: the peer is not kept waiting on the user, and the
    // connections behind it are refused from the box's loop.
    CStreamSocket refused;
    if (m_Listener.Accept(refused)) refused.Send(EncodeMessage(kRefusalNotice));
    refused.Close();  // still delivers the notice
    ShowPeerBox(kBoxNoFreeSlot);
    return;
  }

  CPeerSocket& peer = m_Peers[slot];
  peer.m_bInUse = 1;
  if (!m_Listener.Accept(peer)) {
    // The connection went away before it was taken; keep the slot free for the next.
    peer.m_bInUse = 0;
    return;
  }
  peer.StartConnection();
  for (const MemberEntry& row : m_Members) {
    if (row.bActive)
      peer.Send(EncodeMessage(FillFormat(kAddCommandFormat, {row.strColor, row.strName})));
  }
  m_host.EnableInput(true);
  m_bConnected = true;
  ProcessMessage(FillFormat(kAcceptedNoticeFormat, {m_szOwnIp}));
}

void CMureloView::HandleConnected() {
  m_bConnected = true;
  m_host.EnableInput(true);
  ProcessMessage(FillFormat(kConnectedNoticeFormat, {m_szOwnIp}));
  for (MemberEntry& row : m_Members) row.bActive = false;  // rebuilt from what the server sends
  Broadcast(FillFormat(kJoinNoticeFormat, {m_strColor, m_strName, m_szOwnIp}));
  Broadcast(FillFormat(kAddCommandFormat, {m_strColor, m_strName}));
}

void CMureloView::HandlePeerClosed(int index) {
  if (m_bServer) {
    if (index >= 0 && index < kPeerSlots) {
      m_Peers[index].Close();
      m_Peers[index].m_bInUse = 0;
    }
    UpdateFlowControl();  // it may have been the one the others waited for
    if (!AnySlotInUse()) {
      m_bConnected = false;
      m_host.EnableInput(false);
      return;
    }
    ProcessMessage(FillFormat(kClientLeftNoticeFormat, {m_szOwnIp}));
    return;
  }
  m_Peers[0].Close();
  m_Peers[0].m_bInUse = 0;
  ResetMembers();
  ProcessMessage(FillFormat(kHostLostNoticeFormat, {m_szOwnIp}));
  m_bConnected = false;
  m_host.EnableInput(false);
  EndStay();
}

void CMureloView::OnDisconnectCmd() {
  Broadcast(FillFormat(kDelCommandFormat, {m_strColor, m_strName}));
  Broadcast(FillFormat(kLeaveNoticeFormat, {m_strColor, m_strName, m_szOwnIp}));
  if (m_bServer) {
    for (CPeerSocket& peer : m_Peers) {
      if (!peer.m_bInUse) continue;
      peer.Close();  // what was sent above still reaches the peer
      peer.m_bInUse = 0;
    }
  } else {
    m_Peers[0].Close();
    m_Peers[0].m_bInUse = 0;
  }
  ResetMembers();
  m_bConnected = false;
  m_host.EnableInput(false);
  ProcessMessage(std::string(kDisconnectedNotice));
  EndStay();
}

void CMureloView::OnClose() {
  OnDisconnectCmd();
  m_host.SaveSettings();
  m_bPageStale = false;
  RemoveRegularFile(PageFilePath(m_options.strPageDirectory));
}

}  // namespace murelo
