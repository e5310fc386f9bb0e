#include "platform/room_browser.h"

#include <avahi-client/client.h>
#include <avahi-common/address.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>

#include "platform/avahi_qt_poll.h"
#include "platform/room_announcer.h"

namespace murelo {

namespace {

/// The value of key in a TXT record list, empty without one.
QString TxtValue(AvahiStringList* txt, const char* key) {
  AvahiStringList* entry = avahi_string_list_find(txt, key);
  char* value = nullptr;
  if (entry == nullptr || avahi_string_list_get_pair(entry, nullptr, &value, nullptr) != 0)
    return {};
  QString text = QString::fromUtf8(value);
  avahi_free(value);
  return text;
}

}  // namespace

CRoomBrowser::CRoomBrowser(QObject* parent) : QObject(parent) {
  int error = 0;
  avahi_client_new(QtAvahiPoll(), AVAHI_CLIENT_NO_FAIL, &OnClientState, this, &error);
}

CRoomBrowser::~CRoomBrowser() {
  if (m_client != nullptr) avahi_client_free(m_client);  // with its browser and resolvers
}

void CRoomBrowser::OnClientState(AvahiClient* client, AvahiClientState state, void* self) {
  auto* browser = static_cast<CRoomBrowser*>(self);
  browser->m_client = client;
  if (state != AVAHI_CLIENT_S_RUNNING) return;
  avahi_service_browser_new(client, AVAHI_IF_UNSPEC, AVAHI_PROTO_INET, kRoomServiceType, nullptr,
                            AvahiLookupFlags(0), &OnBrowse, self);
}

void CRoomBrowser::OnBrowse(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol,
                            AvahiBrowserEvent event, const char* name, const char* type,
                            const char* domain, AvahiLookupResultFlags, void* self) {
  auto* browser = static_cast<CRoomBrowser*>(self);
  const QString instance = QString::fromUtf8(name);
  if (event == AVAHI_BROWSER_NEW && !browser->m_resolvers.contains(instance)) {
    browser->m_resolvers[instance] =
        avahi_service_resolver_new(browser->m_client, interface, protocol, name, type, domain,
                                   AVAHI_PROTO_INET, AvahiLookupFlags(0), &OnResolve, self);
  } else if (event == AVAHI_BROWSER_REMOVE && browser->m_resolvers.contains(instance)) {
    if (AvahiServiceResolver* resolver = browser->m_resolvers[instance])
      avahi_service_resolver_free(resolver);
    browser->m_resolvers.erase(instance);
    if (browser->m_rooms.erase(instance) > 0) emit browser->changed();
  }
}

void CRoomBrowser::OnResolve(AvahiServiceResolver*, AvahiIfIndex, AvahiProtocol,
                             AvahiResolverEvent event, const char* name, const char*, const char*,
                             const char*, const AvahiAddress* address, uint16_t,
                             AvahiStringList* txt, AvahiLookupResultFlags, void* self) {
  if (event != AVAHI_RESOLVER_FOUND) return;
  auto* browser = static_cast<CRoomBrowser*>(self);
  char dotted[AVAHI_ADDRESS_STR_MAX];
  avahi_address_snprint(dotted, sizeof dotted, address);
  browser->m_rooms[QString::fromUtf8(name)] = {
      TxtValue(txt, "name"), TxtValue(txt, "members").toInt(), QString::fromLatin1(dotted)};
  emit browser->changed();
}

}  // namespace murelo
