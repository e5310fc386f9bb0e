#include "platform/room_announcer.h"

#include <avahi-common/alternative.h>
#include <avahi-common/domain.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>

#include "platform/avahi_qt_poll.h"

namespace murelo {

namespace {
constexpr int kMaxRenames = 20;
}  // namespace

CRoomAnnouncer::~CRoomAnnouncer() {
  if (m_client != nullptr) avahi_client_free(m_client);  // frees the group, withdrawing it
}

void CRoomAnnouncer::Update(bool hosting, const QString& handleName, int members) {
  if (hosting == m_bHosting && handleName == m_strName && members == m_nMembers) return;
  const bool renamed = handleName != m_strName;
  m_bHosting = hosting;
  m_strName = handleName;
  m_nMembers = members;
  if (!hosting) {
    Withdraw();
    return;
  }
  if (m_client == nullptr) {
    // NO_FAIL: without a daemon the client waits for one to appear, and says nothing.
    int error = 0;
    m_client = avahi_client_new(QtAvahiPoll(), AVAHI_CLIENT_NO_FAIL, &OnClientState, this, &error);
    return;  // registers once the client runs
  }
  if (renamed) m_instance.clear();
  Register(!renamed);
}

void CRoomAnnouncer::OnClientState(AvahiClient* client, AvahiClientState state, void* self) {
  auto* announcer = static_cast<CRoomAnnouncer*>(self);
  announcer->m_client = client;  // the callback may come before avahi_client_new returns
  if (state == AVAHI_CLIENT_S_RUNNING) {
    announcer->m_instance.clear();
    announcer->Register(false);
  } else if (state == AVAHI_CLIENT_S_COLLISION || state == AVAHI_CLIENT_S_REGISTERING ||
             state == AVAHI_CLIENT_CONNECTING) {
    // The host name changed, or the daemon went: it registers again once running.
    if (announcer->m_group != nullptr) avahi_entry_group_reset(announcer->m_group);
  }
}

void CRoomAnnouncer::OnGroupState(AvahiEntryGroup*, AvahiEntryGroupState state, void* self) {
  auto* announcer = static_cast<CRoomAnnouncer*>(self);
  if (state != AVAHI_ENTRY_GROUP_COLLISION) return;  // another host has the name
  announcer->Rename();
  announcer->Register(false);
}

void CRoomAnnouncer::Register(bool retxt) {
  if (!m_bHosting || m_client == nullptr ||
      avahi_client_get_state(m_client) != AVAHI_CLIENT_S_RUNNING)
    return;
  if (m_group == nullptr) {
    m_group = avahi_entry_group_new(m_client, &OnGroupState, this);
    if (m_group == nullptr) return;
  }
  if (m_instance.isEmpty()) {
    QString instance = m_strName + " (" + avahi_client_get_host_name(m_client) + ")";
    while (instance.toUtf8().size() >= AVAHI_LABEL_MAX) instance.chop(1);  // whole characters
    m_instance = instance.toUtf8();
  }
  AvahiStringList* txt =
      avahi_string_list_new(("name=" + m_strName.toUtf8()).constData(),
                            ("members=" + QByteArray::number(m_nMembers)).constData(),
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

void CRoomAnnouncer::Rename() {
  char* alternative = avahi_alternative_service_name(m_instance.constData());  // "… #2"
  m_instance = alternative;
  avahi_free(alternative);
}

void CRoomAnnouncer::Withdraw() {
  if (m_group != nullptr) avahi_entry_group_reset(m_group);
}

}  // namespace murelo
