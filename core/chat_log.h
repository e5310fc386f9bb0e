// CChatLog: the 200 newest log entries in arrival order. A ring, so that appending to
// a full log drops the oldest entry without moving the other 199.
#pragma once

#include <array>
#include <string>

#include "core/conversation_state.h"

namespace murelo {

class CChatLog {
 public:
  /// The number of entries held, 0 to kLogCapacity.
  int Count() const { return m_nLogCount; }

  /// Entry index, 0 being the oldest held; index must be below Count().
  const LogEntry& operator[](int index) const { return m_entries[Slot(index)]; }

  /// Adds entry as the newest, dropping the oldest when the log is full.
  void Append(LogEntry entry) {
    if (m_nLogCount == kLogCapacity) {
      m_entries[m_nFirst] = std::move(entry);
      m_nFirst = (m_nFirst + 1) % kLogCapacity;
      return;
    }
    m_entries[Slot(m_nLogCount++)] = std::move(entry);
  }

  /// Removes every entry whose sender is senderIp; the others keep their order.
  void RemoveSender(const std::string& senderIp) {
    int kept = 0;
    for (int i = 0; i < m_nLogCount; ++i) {
      LogEntry& entry = m_entries[Slot(i)];
      if (entry.strSenderIp == senderIp) continue;
      if (kept != i) m_entries[Slot(kept)] = std::move(entry);
      ++kept;
    }
    m_nLogCount = kept;
  }

 private:
  int Slot(int index) const { return (m_nFirst + index) % kLogCapacity; }

  std::array<LogEntry, kLogCapacity> m_entries;
  int m_nFirst = 0;  // slot of the oldest entry
  int m_nLogCount = 0;
};

}  // namespace murelo
