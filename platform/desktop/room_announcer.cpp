#include "platform/desktop/room_announcer.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/domain.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>

namespace murelo {

namespace {
constexpr int kMaxRenames = 20;
}  // namespace

/// The room's service with the daemon. Avahi thread only.
class CRoomAnnouncer::Registration {
 public:
  explicit Registration(uint16_t port) : m_nPort(port) {}

  void Apply(const AvahiPoll* poll, const Room& room) {
    const bool renamed = room.strName != m_room.strName;
    m_room = room;
    if (!room.bHosting) {
      if (m_group != nullptr) avahi_entry_group_reset(m_group);
      return;
    }
    if (m_client == nullptr) {
      // NO_FAIL: without a daemon the client waits for one to appear, and says nothing.
      int error = 0;
      m_client = avahi_client_new(poll, AVAHI_CLIENT_NO_FAIL, &OnClientState, this, &error);
      return;  // registers once the client runs
    }
    if (renamed) m_instance.clear();
    Register(!renamed);
  }

  void Free() {
    if (m_client != nullptr) avahi_client_free(m_client);  // frees the group, withdrawing it
    m_client = nullptr;
    m_group = nullptr;
  }

 private:
  static void OnClientState(AvahiClient* client, AvahiClientState state, void* self) {
    auto* registration = static_cast<Registration*>(self);
    registration->m_client = client;  // the callback may come before avahi_client_new returns
    if (state == AVAHI_CLIENT_S_RUNNING) {
      registration->m_instance.clear();
      registration->Register(false);
    } else if (state == AVAHI_CLIENT_S_COLLISION || state == AVAHI_CLIENT_S_REGISTERING ||
               state == AVAHI_CLIENT_CONNECTING) {
      // The host name changed, or the daemon went: it registers again once running.
      if (registration->m_group != nullptr) avahi_entry_group_reset(registration->m_group);
    }
  }

  static void OnGroupState(AvahiEntryGroup*, AvahiEntryGroupState state, void* self) {
    auto* registration = static_cast<Registration*>(self);
    if (state != AVAHI_ENTRY_GROUP_COLLISION) return;  // another host has the name
    registration->Rename();
    registration->Register(false);
  }

  /// Registers the service anew under m_instance, or only its TXT records when retxt
  /// and it is registered.
  void Register(bool retxt) {
    if (!m_room.bHosting || m_client == nullptr ||
        avahi_client_get_state(m_client) != AVAHI_CLIENT_S_RUNNING)
      return;
    if (m_group == nullptr) {
      m_group = avahi_entry_group_new(m_client, &OnGroupState, this);
      if (m_group == nullptr) return;
    }
    if (m_instance.isEmpty()) {
      QString instance = m_room.strName + " (" + avahi_client_get_host_name(m_client) + ")";
      while (instance.toUtf8().size() >= AVAHI_LABEL_MAX) instance.chop(1);  // whole characters
      m_instance = instance.toUtf8();
    }
    AvahiStringList* txt =
        avahi_string_list_new(("name=" + m_room.strName.toUtf8()).constData(),
                              ("members=" + QByteArray::number(m_room.nMembers)).constData(),
                              "version=" MURELO_VERSION, nullptr);
    if (retxt && !avahi_entry_group_is_empty(m_group)) {
      avahi_entry_group_update_service_txt_strlst(m_group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                                  AvahiPublishFlags(0), m_instance.constData(),
                                                  kRoomServiceType, nullptr, txt);
    } else {
      avahi_entry_group_reset(m_group);
      int result = AVAHI_ERR_COLLISION;
      // A service of this daemon with the name already is a collision found at once.
      for (int tries = 0; result == AVAHI_ERR_COLLISION && tries < kMaxRenames; ++tries) {
        result = avahi_entry_group_add_service_strlst(
            m_group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0),
            m_instance.constData(), kRoomServiceType, nullptr, nullptr, m_nPort, txt);
        if (result == AVAHI_ERR_COLLISION) Rename();
      }
      if (result == 0) avahi_entry_group_commit(m_group);
    }
    avahi_string_list_free(txt);
  }

  /// Takes the next alternative of the instance name, after a collision.
  void Rename() {
    char* alternative = avahi_alternative_service_name(m_instance.constData());  // "… #2"
    m_instance = alternative;
    avahi_free(alternative);
  }

  const uint16_t m_nPort;
  AvahiClient* m_client = nullptr;
  AvahiEntryGroup* m_group = nullptr;
  Room m_room;
  QByteArray m_instance;  // the instance name in use, after any collision
};

CRoomAnnouncer::CRoomAnnouncer(uint16_t port)
    : m_registration(std::make_shared<Registration>(port)) {
  m_countTimer.setSingleShot(true);
  QObject::connect(&m_countTimer, &QTimer::timeout, [this] { Announce(); });
}

CRoomAnnouncer::~CRoomAnnouncer() {
  m_thread.Post([registration = m_registration](const AvahiPoll*) { registration->Free(); });
}

void CRoomAnnouncer::Update(bool hosting, const QString& handleName, int members) {
  if (hosting == m_wanted.bHosting && handleName == m_wanted.strName &&
      members == m_wanted.nMembers)
    return;
  m_wanted = {hosting, handleName, members};
  const bool countOnly = hosting && m_announced.bHosting && handleName == m_announced.strName;
  const auto due = m_countAnnounced + kCountInterval;
  if (countOnly && std::chrono::steady_clock::now() < due) {
    if (!m_countTimer.isActive()) {
      m_countTimer.start(
          std::chrono::ceil<std::chrono::milliseconds>(due - std::chrono::steady_clock::now()));
    }
    return;
  }
  Announce();
}

void CRoomAnnouncer::Announce() {
  m_countTimer.stop();
  if (m_wanted.bHosting == m_announced.bHosting && m_wanted.strName == m_announced.strName &&
      m_wanted.nMembers == m_announced.nMembers)
    return;  // back to what was announced before its turn came
  m_announced = m_wanted;
  m_countAnnounced = std::chrono::steady_clock::now();
  m_thread.Post([registration = m_registration, room = m_wanted](const AvahiPoll* poll) {
    registration->Apply(poll, room);
  });
}

}  // namespace murelo
