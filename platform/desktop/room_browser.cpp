#include "platform/desktop/room_browser.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/address.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>
#include <avahi-common/timeval.h>

#include <chrono>
#include <deque>
#include <string>

#include "platform/desktop/room_announcer.h"

namespace murelo {

namespace {

// Avahi gives a client at most 1,024 objects. Resolvers are few at once, and the
// services known are bounded, so that a LAN that announces thousands cannot exhaust
// the client or the memory.
constexpr int kMaxResolving = 8;
constexpr int kMaxLive = 16;  // rooms whose resolvers stay open, to follow their counts
constexpr size_t kMaxServices = 8192;
constexpr int kMaxAttempts = 3;
constexpr auto kResolveTimeout = std::chrono::seconds(6);
constexpr unsigned kTickMs = 1000;

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

/// The services found and their resolution. Avahi thread only.
class CRoomBrowser::Lookup {
 public:
  Lookup(uint16_t chatPort, std::shared_ptr<CAvahiResults> results, CRoomBrowser* browser)
      : m_nChatPort(chatPort), m_results(std::move(results)), m_browser(browser) {}

  void Start(const AvahiPoll* poll) {
    m_poll = poll;
    timeval due;
    m_tick = poll->timeout_new(poll, avahi_elapse_time(&due, kTickMs, 0), &OnTick, this);
    int error = 0;
    avahi_client_new(poll, AVAHI_CLIENT_NO_FAIL, &OnClientState, this, &error);
  }

  void Free() {
    if (m_tick != nullptr) m_poll->timeout_free(m_tick);
    m_tick = nullptr;
    if (m_client != nullptr) avahi_client_free(m_client);  // with its browser and resolvers
    m_client = nullptr;
  }

 private:
  struct Service {
    AvahiIfIndex interface = AVAHI_IF_UNSPEC;
    AvahiProtocol protocol = AVAHI_PROTO_UNSPEC;
    std::string strType;
    std::string strDomain;
    int nAttempts = 0;
    AvahiServiceResolver* resolver = nullptr;
    std::chrono::steady_clock::time_point started;
    bool bLive = false;  // its resolver stays open
  };

  static void OnClientState(AvahiClient* client, AvahiClientState state, void* self) {
    auto* lookup = static_cast<Lookup*>(self);
    lookup->m_client = client;
    if (state == AVAHI_CLIENT_S_RUNNING) {
      avahi_service_browser_new(client, AVAHI_IF_UNSPEC, AVAHI_PROTO_INET, kRoomServiceType,
                                nullptr, AvahiLookupFlags(0), &OnBrowse, self);
    } else if (state == AVAHI_CLIENT_CONNECTING || state == AVAHI_CLIENT_FAILURE) {
      lookup->Forget();  // the daemon went, and all it had found with it
    }
  }

  static void OnBrowse(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol,
                       AvahiBrowserEvent event, const char* name, const char* type,
                       const char* domain, AvahiLookupResultFlags, void* self) {
    auto* lookup = static_cast<Lookup*>(self);
    if (event == AVAHI_BROWSER_NEW && !lookup->m_services.contains(name) &&
        lookup->m_services.size() < kMaxServices) {
      Service& service = lookup->m_services[name];
      service.interface = interface;
      service.protocol = protocol;
      service.strType = type;
      service.strDomain = domain;
      lookup->m_waiting.push_back(name);
      lookup->Resolve();
    } else if (event == AVAHI_BROWSER_REMOVE) {
      const auto found = lookup->m_services.find(name);
      if (found == lookup->m_services.end()) return;
      lookup->StopResolver(found->second);
      lookup->m_services.erase(found);
      lookup->Unlist(name);
      lookup->Resolve();
    }
  }

  static void OnResolve(AvahiServiceResolver* resolver, AvahiIfIndex, AvahiProtocol,
                        AvahiResolverEvent event, const char* name, const char*, const char*,
                        const char*, const AvahiAddress* address, uint16_t port,
                        AvahiStringList* txt, AvahiLookupResultFlags, void* self) {
    auto* lookup = static_cast<Lookup*>(self);
    const auto found = lookup->m_services.find(name);
    if (found == lookup->m_services.end() || found->second.resolver != resolver) return;
    Service& service = found->second;
    const bool joinable = event == AVAHI_RESOLVER_FOUND && port == lookup->m_nChatPort &&
                          address != nullptr && address->proto == AVAHI_PROTO_INET;
    if (joinable) {
      char dotted[AVAHI_ADDRESS_STR_MAX];
      avahi_address_snprint(dotted, sizeof dotted, address);
      lookup->List(name, {TxtValue(txt, "name").left(kMaxNameLength),
                          TxtValue(txt, "members").toInt(), QString::fromLatin1(dotted)});
      if (!service.bLive && lookup->m_nLive < kMaxLive) {
        service.bLive = true;
        --lookup->m_nResolving;
        ++lookup->m_nLive;
      } else if (!service.bLive) {
        lookup->StopResolver(service);
      }
    } else {
      if (service.bLive) lookup->Unlist(name);
      lookup->StopResolver(service);
      if (event == AVAHI_RESOLVER_FAILURE) lookup->TryAgainLater(name, service);
    }
    lookup->Resolve();
  }

  /// Gives up on resolutions that took too long, as a hung daemon's would.
  static void OnTick(AvahiTimeout* tick, void* self) {
    auto* lookup = static_cast<Lookup*>(self);
    const auto now = std::chrono::steady_clock::now();
    for (auto& [name, service] : lookup->m_services) {
      if (service.resolver != nullptr && !service.bLive &&
          now - service.started > kResolveTimeout) {
        lookup->StopResolver(service);
        lookup->TryAgainLater(name, service);
      }
    }
    lookup->Resolve();
    timeval due;
    lookup->m_poll->timeout_update(tick, avahi_elapse_time(&due, kTickMs, 0));
  }

  /// Starts resolvers for the services waiting, as many as may run at once.
  void Resolve() {
    while (m_nResolving < kMaxResolving && !m_waiting.empty() && m_client != nullptr) {
      const std::string name = std::move(m_waiting.front());
      m_waiting.pop_front();
      const auto found = m_services.find(name);
      if (found == m_services.end() || found->second.resolver != nullptr) continue;
      Service& service = found->second;
      service.resolver = avahi_service_resolver_new(
          m_client, service.interface, service.protocol, name.c_str(), service.strType.c_str(),
          service.strDomain.c_str(), AVAHI_PROTO_INET, AvahiLookupFlags(0), &OnResolve, this);
      if (service.resolver == nullptr) {  // the daemon refused: try it again after the rest
        TryAgainLater(name, service);
        return;
      }
      service.started = std::chrono::steady_clock::now();
      ++m_nResolving;
    }
  }

  void StopResolver(Service& service) {
    if (service.resolver == nullptr) return;
    avahi_service_resolver_free(service.resolver);
    service.resolver = nullptr;
    --(service.bLive ? m_nLive : m_nResolving);
    service.bLive = false;
  }

  void TryAgainLater(const std::string& name, Service& service) {
    if (++service.nAttempts < kMaxAttempts) m_waiting.push_back(name);
  }

  void Forget() {
    for (auto& [name, service] : m_services) StopResolver(service);
    m_services.clear();
    m_waiting.clear();
    m_results->Post([browser = m_browser] {
      browser->m_rooms.clear();
      emit browser->changed();
    });
  }

  void List(const char* name, const CFoundRoom& room) {
    m_results->Post([browser = m_browser, name = QString::fromUtf8(name), room] {
      browser->m_rooms[name] = room;
      emit browser->changed();
    });
  }

  void Unlist(const char* name) {
    m_results->Post([browser = m_browser, name = QString::fromUtf8(name)] {
      if (browser->m_rooms.erase(name) > 0) emit browser->changed();
    });
  }

  const uint16_t m_nChatPort;
  const std::shared_ptr<CAvahiResults> m_results;
  CRoomBrowser* const m_browser;  // touched only through m_results, on its own thread
  const AvahiPoll* m_poll = nullptr;
  AvahiTimeout* m_tick = nullptr;
  AvahiClient* m_client = nullptr;
  std::map<std::string, Service> m_services;  // by instance name
  std::deque<std::string> m_waiting;          // to be resolved, in turn
  int m_nResolving = 0;
  int m_nLive = 0;
};

CRoomBrowser::CRoomBrowser(uint16_t chatPort, QObject* parent)
    : QObject(parent),
      m_results(std::make_shared<CAvahiResults>(this)),
      m_lookup(std::make_shared<Lookup>(chatPort, m_results, this)) {
  m_thread.Post([lookup = m_lookup](const AvahiPoll* poll) { lookup->Start(poll); });
}

CRoomBrowser::~CRoomBrowser() {
  m_results->Detach();
  m_thread.Post([lookup = m_lookup](const AvahiPoll*) { lookup->Free(); });
}

}  // namespace murelo

#include "moc_room_browser.cpp"
