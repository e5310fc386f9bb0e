// CRoomBrowser: the rooms that copies on the local network announce over DNS-SD
// (_murelo._tcp), found through the Avahi daemon while the browser exists, kept up to
// date as rooms come, change and go. Without a daemon, a bus or a network it finds
// nothing and says nothing.
//
// User-interface thread only.
#pragma once

#include <avahi-client/lookup.h>

#include <QObject>
#include <QString>
#include <map>

namespace murelo {

struct CFoundRoom {
  QString strName;     // the host's handle name (TXT name=)
  int nMembers = 0;    // TXT members=
  QString strAddress;  // dotted IPv4
};

class CRoomBrowser : public QObject {
  Q_OBJECT

 public:
  explicit CRoomBrowser(QObject* parent = nullptr);
  ~CRoomBrowser() override;

  /// The rooms found, by instance name.
  const std::map<QString, CFoundRoom>& Rooms() const { return m_rooms; }

 signals:
  void changed();

 private:
  static void OnClientState(AvahiClient* client, AvahiClientState state, void* self);
  static void OnBrowse(AvahiServiceBrowser* browser, AvahiIfIndex interface, AvahiProtocol protocol,
                       AvahiBrowserEvent event, const char* name, const char* type,
                       const char* domain, AvahiLookupResultFlags flags, void* self);
  static void OnResolve(AvahiServiceResolver* resolver, AvahiIfIndex interface,
                        AvahiProtocol protocol, AvahiResolverEvent event, const char* name,
                        const char* type, const char* domain, const char* hostName,
                        const AvahiAddress* address, uint16_t port, AvahiStringList* txt,
                        AvahiLookupResultFlags flags, void* self);

  AvahiClient* m_client = nullptr;
  std::map<QString, AvahiServiceResolver*> m_resolvers;  // each keeps its room current
  std::map<QString, CFoundRoom> m_rooms;
};

}  // namespace murelo
