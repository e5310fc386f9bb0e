// CRoomBridge: the always-on room joined to one IRC channel, so that several rooms, on
// several hosts and servers, and anyone with an IRC client hold one conversation.
//
// The room's chat lines go to the channel as «<name> text», its join and leave notices
// and renames as NOTICEs, all as plain UTF-8 text. What others say in the channel comes
// into the room as chat lines built exactly as a copy builds its own, from «nick＠irc»;
// a line another room's bridge relayed comes from «name＠nick», nick being that bridge's.
// Each bridge relays only what its own room said, so rooms bridged to one channel see
// each other's lines once. IRC's joins and parts are not shown: a room can hold only
// chat lines from others, and sixty people's comings and goings would bury the talk.
//
// When the server goes away the room goes on; the bridge says so once in the room, and
// once more when it is back. Its notices come from the room's own name and never go to
// IRC.
#pragma once

#include <QString>
#include <functional>
#include <string_view>

#include "core/murelo_view.h"
#include "platform/irc/irc_client.h"

namespace murelo {

/// The user name a bridge registers under, by which other bridges know its lines.
inline constexpr char kBridgeUser[] = "murelo";

class CRoomBridge {
 public:
  /// view must outlive the bridge; log takes a line for standard error.
  CRoomBridge(CMureloView& view, CIrcEndpoint endpoint, CIrcPacing pacing,
              std::function<void(const QString&)> log);

  void Start() { m_client.Start(); }

  /// From the room's host: each line the room logs, each message it is about to interpret.
  void EntryLogged(const LogEntry& entry, bool fromPeer);
  void MessageArrived(std::string_view text);

 private:
  void Heard(const CIrcChannelMessage& message);
  void StateChanged(bool up, const QString& why);
  /// A chat line from name (CP932 HTML) in colour, said in the room and not sent to IRC.
  void SayInRoom(std::string_view color, std::string_view name, const QString& text);
  /// text as the room's own chat line.
  void Announce(const QString& text);

  CMureloView& m_view;
  const QString m_strChannel;
  const std::function<void(const QString&)> m_log;
  CIrcClient m_client;
  bool m_bSayingInRoom = false;
  bool m_bToldDown = false;
};

}  // namespace murelo
