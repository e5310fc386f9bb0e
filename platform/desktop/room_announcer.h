// CRoomAnnouncer: while this copy hosts, a DNS-SD service of type _murelo._tcp on the
// chat port, registered through the Avahi daemon, so that other copies and any DNS-SD
// browser find the room without an address. Its instance name is «HANDLE (hostname)»,
// renamed when another room has it; its TXT records are name= (the handle name in
// UTF-8), members= (the participants) and version=. It is withdrawn when hosting ends
// or the announcer goes. Without a daemon, a bus or a network it announces nothing and
// says nothing; hosting never depends on it, nor waits for it: the daemon is spoken to
// from a thread of its own (CAvahiThread).
//
// User-interface thread only.
#pragma once

#include <QString>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <memory>

#include "platform/desktop/avahi_thread.h"

namespace murelo {

/// The DNS-SD service type of a room, which CRoomBrowser looks for.
inline constexpr char kRoomServiceType[] = "_murelo._tcp";

class CRoomAnnouncer {
 public:
  /// The member count changes the TXT records at most this often; the last count is
  /// always announced. A room whose members come and go fast must not become a flood
  /// of multicast.
  static constexpr std::chrono::seconds kCountInterval{5};

  explicit CRoomAnnouncer(uint16_t port);
  ~CRoomAnnouncer();
  CRoomAnnouncer(const CRoomAnnouncer&) = delete;
  CRoomAnnouncer& operator=(const CRoomAnnouncer&) = delete;

  /// The room as it now is; announced, changed or withdrawn as needed. A report that
  /// changes nothing does nothing.
  void Update(bool hosting, const QString& handleName, int members);

  /// What the Avahi thread is given: the room as it should be announced.
  struct Room {
    bool bHosting = false;
    QString strName;
    int nMembers = 0;
  };
  class Registration;  // on the Avahi thread

 private:
  void Announce();

  Room m_wanted;
  Room m_announced;
  std::chrono::steady_clock::time_point m_countAnnounced;
  QTimer m_countTimer;  // the count that waits for its turn
  std::shared_ptr<Registration> m_registration;
  CAvahiThread m_thread;  // last: it runs what the others left it before it ends
};

}  // namespace murelo
