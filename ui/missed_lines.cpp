#include "ui/missed_lines.h"

#include "core/chat_line.h"
#include "platform/cp932.h"
#include "platform/plain_text.h"

namespace murelo {

std::optional<CAnnouncement> CMissedLines::Arrived(const LogEntry& entry, bool fromPeer,
                                                   const std::string& ownName,
                                                   const std::string& ownIp, bool windowActive,
                                                   bool notificationsOn) {
  // A message from a peer is this copy's own when it comes from this address and names
  // this user, as its chat lines (<b>name</b>) and notices (>name</font>) do.
  const bool own = !fromPeer || (entry.strSenderIp == ownIp && !ownName.empty() &&
                                 entry.strHtml.find('>' + ownName + '<') != std::string::npos);
  if (windowActive || own) return std::nullopt;
  ++m_nMissed;

  const QString html = ToQString(entry.strHtml);
  const std::optional<CChatLineParts> chatLine = ParseChatLine(entry.strHtml);
  const QString sender = chatLine ? PlainTextOfHtml(ToQString(chatLine->name)) : u"murelo"_qs;
  const QString said =
      chatLine ? PlainTextOfHtml(ToQString(chatLine->text)) : PlainTextOfHtml(html);
  const QString name = PlainTextOfHtml(ToQString(ownName));
  const bool mention = !name.trimmed().isEmpty() && said.contains(name);
  // Switched off, only a mention is announced, and what follows does not replace it.
  if (!notificationsOn && !mention) return std::nullopt;
  m_bMentioned = m_bMentioned || mention;
  return CAnnouncement{m_nMissed > 1 ? u"%1 ほか %2 件"_qs.arg(sender).arg(m_nMissed - 1) : sender,
                       PlainTextOfHtml(html), m_bMentioned};
}

}  // namespace murelo
