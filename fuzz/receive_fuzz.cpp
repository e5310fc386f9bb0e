// The server's receive path under any bytes, over loopback TCP on Qt's event loop: a raw
// peer connects to one long-lived hosting view and sends the input in reads of sizes the
// input chooses; the view reads, frames, interprets and relays every message and writes
// its page. A joined view reads with the same code.
//
// Input: byte 0 chooses the largest read (bits 1 to 3) and the pattern of read sizes
// (bits 4 to 7). Byte 1: how many further reads arrive while each message box is open
// (bits 0 and 1), so that messages are taken inside the box's nested loop. The rest is
// what the peer sends. The peer ends with a reset, so no connection is left in TIME_WAIT
// and a long run keeps its ephemeral ports.
//
// Checks, for every input:
// - the same bytes in any reads frame into the texts an independent reading of the wire
//   format finds; the view interprets exactly those, in order unless some were taken
//   while a box was open, and relays them after the snapshot of the members;
// - at most one "malformed text" box for each of those texts with more than ten lines,
//   at least one if there is any, none inside another and no other box;
// - the view notices the end of the connection, nothing hangs;
// - the log holds at most 200 entries and data.htm is the page of the final state.
#include <netinet/tcp.h>

#include <algorithm>

#include "core/wire_format.h"
#include "fuzz_check.h"
#include "loopback.h"
#include "platform/qt_event_loop.h"
#include "ui/page_writer.h"

namespace {

using namespace murelo;
using namespace murelo::test;

constexpr std::array<uint32_t, 8> kLargestReads = {1, 2, 7, 64, 500, 1024, 1025, 65536};

ChatCopy* g_server = nullptr;
uint16_t g_port = 0;

/// The messages in wire bytes, read straight from the format's definition: cut at every
/// byte that decodes to 0x00 (0x00 and 0x01), decode by subtracting 1, keep the texts of 1
/// to 1023 bytes that a terminator ends.
std::vector<std::string> ReferenceMessages(std::string_view wire) {
  std::vector<std::string> messages;
  for (size_t end; (end = wire.find_first_of(std::string_view("\0\1", 2))) != wire.npos;) {
    std::string text(wire.substr(0, end));
    for (char& byte : text) --byte;
    if (!text.empty() && text.size() <= kMaxReceivedText) messages.push_back(text);
    wire.remove_prefix(end + 1);
  }
  return messages;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static QCoreApplication application(*argc, *argv);
  static CQtEventLoop loop;
  static ScopedTempDir dir;
  // Each input is judged alone: a box held shut after an earlier one would hide its own.
  static ChatCopy server(dir.path() / "server", g_port = FreePort(), std::chrono::milliseconds(0));
  g_server = &server;
  server.host().recordMessages = true;
  server.Host("host", "red");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int readsWhileOpen = data[1] & 3;
  std::string_view wire(reinterpret_cast<const char*>(data) + 2, size - 2);
  std::vector<std::string> expected = ReferenceMessages(wire), framed;

  CMureloView& view = g_server->view();
  CTestHost& host = g_server->host();
  const CPeerSocket& slot = view.m_Peers[kPeerSlots - 1];  // the first one taken
  view.ResetMembers();  // rows the last peer added outlive it; the snapshot is the host's
  RawPeer peer(g_port);
  const int on = 1;  // each write of the peer arrives as one read
  setsockopt(peer.fd(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  FUZZ_CHECK(WaitFor([&] { return slot.m_bInUse; }));
  host.messages.clear();  // the accepted notice
  host.boxes.clear();
  host.maxBoxDepth = 0;

  // One read at a time, the loop turned after each so that the view takes it alone; a
  // box's loop takes the next readsWhileOpen. A framer of its own takes the same reads.
  CMessageFramer framer;
  uint32_t reads = 0;
  const auto sendNext = [&] {
    const uint32_t mixed = (reads++ * 2654435761u) ^ ((data[0] >> 4) * 40503u);
    const std::string_view read = wire.substr(0, 1 + mixed % kLargestReads[(data[0] >> 1) & 7]);
    peer.Write(read);
    framer.Feed(read, framed);
    wire.remove_prefix(read.size());
    QCoreApplication::processEvents();
  };
  host.onMessageBox = [&](std::string_view) {
    for (int i = 0; i < readsWhileOpen && !wire.empty(); ++i) sendNext();
  };
  while (!wire.empty()) sendNext();
  FUZZ_CHECK(framed == expected);
  FUZZ_CHECK(WaitFor([&] { return host.messages.size() >= expected.size(); }));
  host.onMessageBox = nullptr;
  FUZZ_CHECK(peer.ReadUntil([&](const std::string& received) {
    return ReferenceMessages(received).size() > expected.size();
  }));
  peer.Reset();
  FUZZ_CHECK(WaitFor([&] { return !slot.m_bInUse && !view.m_bConnected; }));

  // The peer gets the snapshot of the members, then the texts relayed.
  std::vector<std::string> taken = host.messages, relayed = ReferenceMessages(peer.received);
  FUZZ_CHECK(!relayed.empty() && relayed.front() == "\nadd\nred\nhost\n");
  relayed.erase(relayed.begin());
  if (readsWhileOpen != 0) {
    // A box's loop takes later reads before the rest of the read that opened it.
    for (auto* texts : {&expected, &taken, &relayed}) std::ranges::sort(*texts);
  }
  FUZZ_CHECK(taken == expected && relayed == expected);

  LineTable lines;
  const auto malformed = std::ranges::count_if(expected, [&](const std::string& text) {
    return SplitMessageLines(text, lines) > kMaxWellFormedLines;
  });
  const auto boxes = std::ranges::count(host.boxes, kBoxMalformedText);
  FUZZ_CHECK(boxes <= malformed && (boxes > 0) == (malformed > 0));
  FUZZ_CHECK(host.maxBoxDepth <= 1 && boxes == std::ssize(host.boxes));
  FUZZ_CHECK(view.m_Log.Count() <= kLogCapacity);
  QCoreApplication::sendPostedEvents();  // the page write is posted twice over
  QCoreApplication::sendPostedEvents();
  FUZZ_CHECK(g_server->Page() == ComposeChatPage(view.m_Members, view.m_Log, DisplayLimit(3)));
  // Watches ended outside any event loop are deleted only when asked.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  return 0;
}
