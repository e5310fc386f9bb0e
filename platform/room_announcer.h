// CRoomAnnouncer: while this copy hosts, a DNS-SD service of type _murelo._tcp on the
// chat port, registered through the Avahi daemon, so that other copies and any DNS-SD
// browser find the room without an address. Its instance name is «HANDLE (hostname)»,
// renamed when another room has it; its TXT records are name= (the handle name in
// UTF-8), members= (the participants) and version=. It is withdrawn when hosting ends
// or the announcer goes. Without a daemon, a bus or a network it announces nothing and
// says nothing; hosting never depends on it.
//
// User-interface thread only.
#pragma once

#include <avahi-client/client.h>
#include <avahi-client/publish.h>

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace murelo {

/// The DNS-SD service type of a room, which CRoomBrowser looks for.
inline constexpr char kRoomServiceType[] = "_murelo._tcp";

class CRoomAnnouncer {
 public:
  explicit CRoomAnnouncer(uint16_t port) : m_nPort(port) {}
  ~CRoomAnnouncer();
  CRoomAnnouncer(const CRoomAnnouncer&) = delete;
  CRoomAnnouncer& operator=(const CRoomAnnouncer&) = delete;

  /// The room as it now is; announced, changed or withdrawn as needed. A report that
  /// changes nothing does nothing.
  void Update(bool hosting, const QString& handleName, int members);

 private:
  static void OnClientState(AvahiClient* client, AvahiClientState state, void* self);
  static void OnGroupState(AvahiEntryGroup* group, AvahiEntryGroupState state, void* self);
  /// Registers the service anew under m_instance, or only its TXT records when
  /// retxt and it is registered.
  void Register(bool retxt);
  void Withdraw();
  /// Takes the next alternative of the instance name, after a collision.
  void Rename();

  const uint16_t m_nPort;
  AvahiClient* m_client = nullptr;
  AvahiEntryGroup* m_group = nullptr;
  bool m_bHosting = false;
  QString m_strName;
  int m_nMembers = 0;
  QByteArray m_instance;  // the instance name in use, after any collision
};

}  // namespace murelo
