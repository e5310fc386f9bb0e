// Sending and receiving messages: the view's side of the wire format.
#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "core/murelo_view.h"
#include "core/wire_format.h"

namespace murelo {

namespace {
// Reads are this large; framing carries partial messages over, so the size of a read
// changes nothing but the number of system calls.
constexpr size_t kReadChunk = 65536;

/// Whether interpreting text may open a box: it may have more lines than a message may.
/// The line feeds are found with memchr, and only as far as that many.
bool MayOpenBox(std::string_view text) {
  int feeds = 0;
  for (const char *at = text.data(), *const end = at + text.size();
       (at = static_cast<const char*>(std::memchr(at, '\n', static_cast<size_t>(end - at)))) !=
       nullptr;
       ++at) {
    if (++feeds >= kMaxWellFormedLines) return true;
  }
  return false;
}
}  // namespace

void CMureloView::Broadcast(const std::string& text) {
  if (!m_bServer) {
    m_Peers[0].Send(EncodeMessage(text));
    return;
  }
  ProcessMessage(text);
  RelayToClients({&text, 1});
}

void CMureloView::RelayToClients(std::span<const std::string> texts, int sender) {
  std::string wire;
  size_t size = 0;
  for (const std::string& text : texts) size += text.size() + 1;
  wire.reserve(size);
  for (const std::string& text : texts) AppendEncodedMessage(wire, text);
  if (sender >= 0 && m_Peers[sender].m_bInUse) m_Peers[sender].Send(wire);
  for (int i = 0; i < kPeerSlots; ++i) {
    if (i != sender && m_Peers[i].m_bInUse) m_Peers[i].Send(wire);
  }
}

void CMureloView::HandleReceive(int index) {
  if (index < 0 || index >= kPeerSlots) return;
  CPeerSocket& peer = m_Peers[index];
  // One buffer for every read, left as the last read left it: the messages are taken
  // out of it before anything that could read again runs.
  if (!m_readBuffer) m_readBuffer = std::make_unique_for_overwrite<char[]>(kReadChunk);
  const ssize_t count = peer.Receive(m_readBuffer.get(), kReadChunk);
  if (count <= 0) return;
  peer.NoteReceived(static_cast<size_t>(count));
  if (m_bBacklogged && peer.IsHeavySender()) peer.PauseReceiving(true);

  // The messages are taken out of the connection before any is handled: handling one
  // may open a box whose nested loop reads this connection again.
  std::vector<std::string> messages;
  peer.m_framer.Feed(std::string_view(m_readBuffer.get(), static_cast<size_t>(count)), messages);
  // Boxes tell which read their messages came in (see ShowPeerBox); a nested read
  // inside a box hands the mark back when it is done.
  const uint64_t outerRead = std::exchange(m_nCurrentRead, ++m_nReads);
  const bool outerInPeerMessages = std::exchange(m_bInPeerMessages, true);
  // A host relays a read's messages, and writes them out, before it interprets them, so
  // that its clients wait for none of its own work. A message that may open a box ends a
  // run: all that was relayed is interpreted before the box's nested loop can relay
  // anything else, and this copy logs in the order its clients receive.
  for (size_t first = 0; first < messages.size();) {
    size_t end = first;
    while (end < messages.size() && !MayOpenBox(messages[end])) ++end;
    end = std::min(end + 1, messages.size());
    if (m_bServer) {
      const CStreamSocket::CSendBatch batch;
      RelayToClients(std::span(messages).subspan(first, end - first), index);
    }
    for (size_t i = first; i < end; ++i) ProcessMessage(messages[i]);
    first = end;
  }
  m_bInPeerMessages = outerInPeerMessages;
  m_nCurrentRead = outerRead;
}

void CMureloView::UpdateFlowControl() {
  m_bBacklogged = m_bServer && std::ranges::any_of(m_Peers, [](const CPeerSocket& peer) {
                    return peer.m_bInUse && peer.IsBacklogged();
                  });
  for (CPeerSocket& peer : m_Peers) {
    if (peer.m_bInUse) peer.PauseReceiving(m_bBacklogged && peer.IsHeavySender());
  }
}

}  // namespace murelo
