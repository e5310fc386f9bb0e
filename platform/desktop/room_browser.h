// CRoomBrowser: the rooms that copies on the local network announce over DNS-SD
// (_murelo._tcp), found through the Avahi daemon while the browser exists, kept up to
// date as rooms come, change and go. Without a daemon, a bus or a network it finds
// nothing and says nothing, and it never waits for the daemon: the daemon is spoken to
// from a thread of its own (CAvahiThread).
//
// The network may hold any number of services of the type, not all of them rooms: each
// is resolved in turn, a few at once, and one that fails is tried again later. Only a
// room on the chat port is listed, since a pick joins that port; the few listed first
// are kept current, the rest are as they were when resolved.
//
// User-interface thread only.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <map>
#include <memory>

#include "platform/desktop/avahi_thread.h"

namespace murelo {

struct CFoundRoom {
  QString strName;     // the host's handle name (TXT name=), cut to kMaxNameLength
  int nMembers = 0;    // TXT members=
  QString strAddress;  // dotted IPv4
};

class CRoomBrowser : public QObject {
  Q_OBJECT

 public:
  static constexpr int kMaxNameLength = 64;

  explicit CRoomBrowser(uint16_t chatPort, QObject* parent = nullptr);
  ~CRoomBrowser() override;

  /// The rooms found, by instance name.
  const std::map<QString, CFoundRoom>& Rooms() const { return m_rooms; }

  class Lookup;  // on the Avahi thread

 signals:
  void changed();

 private:
  std::map<QString, CFoundRoom> m_rooms;
  std::shared_ptr<CAvahiResults> m_results;
  std::shared_ptr<Lookup> m_lookup;
  CAvahiThread m_thread;  // last: it runs what the others left it before it ends
};

}  // namespace murelo
