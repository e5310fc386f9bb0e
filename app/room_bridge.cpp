#include "app/room_bridge.h"

#include <QStringList>
#include <array>
#include <utility>

#include "core/chat_line.h"
#include "core/message_catalog.h"
#include "core/message_format.h"
#include "core/wire_format.h"
#include "platform/cp932.h"
#include "platform/irc/irc_text.h"
#include "platform/plain_text.h"

namespace murelo {

namespace {

// Names are short on the page and in the channel, however long a server or peer makes them.
constexpr size_t kMaxNameBytes = 64;
constexpr std::string_view kAction = "\001ACTION ";
// Each IRC name keeps one colour, readable on the page's light background.
constexpr std::array<std::string_view, 8> kPalette = {"green",  "purple", "teal",    "olive",
                                                      "maroon", "navy",   "#c04000", "#2060c0"};

std::string Utf8PlainText(std::string_view html) {
  return PlainTextOfHtml(ToQString(html)).trimmed().toStdString();
}

/// text HTML-escaped in CP932, cut to at most maxBytes at a character boundary; a cut
/// never splits a reference.
std::string EscapedCp932(const QString& text, size_t maxBytes) {
  const QString escaped = text.toHtmlEscaped();
  QStringView fitting = QStringView(escaped).first(Cp932FittingPrefix(escaped, maxBytes));
  const qsizetype amp = fitting.lastIndexOf(u'&');
  if (amp >= 0 && !fitting.sliced(amp).contains(u';')) fitting.truncate(amp);
  return ToCp932(fitting);
}

}  // namespace

CRoomBridge::CRoomBridge(CMureloView& view, CIrcEndpoint endpoint, CIrcPacing pacing,
                         std::function<void(const QString&)> log)
    : m_view(view),
      m_strChannel(endpoint.strChannel),
      m_log(std::move(log)),
      m_client(std::move(endpoint), pacing,
               {[this](const CIrcChannelMessage& message) { Heard(message); },
                [this](bool up, const QString& why) { StateChanged(up, why); },
                [this] {
                  Announce("IRC " + m_strChannel +
                           " へ送りきれない行があります。古いものから捨てています。");
                }}) {}

void CRoomBridge::EntryLogged(const LogEntry& entry, bool fromPeer) {
  if (m_bSayingInRoom) return;
  if (const std::optional<CChatLineParts> parts = ParseChatLine(entry.strHtml)) {
    const std::string name = SplitUtf8(Utf8PlainText(parts->name), kMaxNameBytes).front();
    m_client.Say('<' + name + "> ", Utf8PlainText(parts->text));
  } else if (fromPeer) {  // a peer's join or leave notice, or whatever else it displayed
    if (const std::string text = Utf8PlainText(entry.strHtml); !text.empty())
      m_client.Say({}, text, true);
  }
}

void CRoomBridge::MessageArrived(std::string_view text) {
  const QStringList lines = ToQString(text).split(u'\n');
  // \nchange\nOLD COLOUR\nOLD NAME\nNEW COLOUR\nNEW NAME\n, for a row the room has.
  if (lines.size() < 6 || !lines[0].isEmpty() || lines[1] != u"change" || lines[3] == lines[5])
    return;
  const std::string oldColor = ToCp932(lines[2]), oldName = ToCp932(lines[3]);
  for (const MemberEntry& member : m_view.m_Members) {
    if (member.bActive && member.strColor == oldColor && member.strName == oldName) {
      const QString renamed =
          PlainTextOfHtml(lines[3]) + " は " + PlainTextOfHtml(lines[5]) + " に名前を変えました";
      return m_client.Say({}, renamed.toStdString(), true);
    }
  }
}

void CRoomBridge::Heard(const CIrcChannelMessage& message) {
  std::string_view said = message.strText;
  const bool action = said.starts_with(kAction);
  if (action) {
    said.remove_prefix(kAction.size());
    if (said.ends_with('\001')) said.remove_suffix(1);
  } else if (said.starts_with('\001')) {
    return;  // CTCP asks the bridge, not the room
  }
  QString text = QString::fromStdString(StripIrcFormatting(said)).trimmed();
  // A server may send anything as a nick; a NUL in it would end the message on the wire.
  const QString nick = QString::fromStdString(IrcSafeText(message.strNick));
  QString name = nick + u"＠irc"_qs;
  // Another room's bridge: «<taro> text» is taro's, from the room behind that nick.
  const qsizetype nameEnd = text.indexOf(u"> ");
  if (message.strUser == kBridgeUser && !action && text.startsWith(u'<') && nameEnd > 1) {
    name = text.sliced(1, nameEnd - 1) + u'＠' + nick;
    text = text.sliced(nameEnd + 2);
  }
  if (action) text.prepend(u"＊"_qs);
  if (text.isEmpty()) return;
  const std::string_view color = kPalette[qHash(name) % kPalette.size()];
  SayInRoom(color, EscapedCp932(name, kMaxNameBytes), text);
}

void CRoomBridge::StateChanged(bool up, const QString& why) {
  m_log(up ? "IRC " + m_strChannel + " に参加しました。" : "IRC とつながりません: " + why);
  if (up == !m_bToldDown) return;  // the room heard nothing of an outage yet, or of this one
  m_bToldDown = !up;
  Announce(up ? "IRC " + m_strChannel + " との橋渡しが戻りました。"
              : "IRC " + m_strChannel + " との橋渡しが切れました。つなぎ直しています。");
}

void CRoomBridge::Announce(const QString& text) {
  SayInRoom(m_view.m_strColor, m_view.m_strName, text);
}

void CRoomBridge::SayInRoom(std::string_view color, std::string_view name, const QString& text) {
  if (!m_view.m_bServer) return;
  const size_t rest = FillFormat(kChatLineFormat, {color, name, {}, m_view.m_szOwnIp}).size();
  if (rest >= kMaxReceivedText) return;
  const std::string line =
      FillFormat(kChatLineFormat,
                 {color, name, EscapedCp932(text, kMaxReceivedText - rest), m_view.m_szOwnIp});
  m_bSayingInRoom = true;
  m_view.Broadcast(line);
  m_bSayingInRoom = false;
}

}  // namespace murelo
