// The chat page for any state. The input is a program of operations on a member
// table and a chat log (set a row, append an entry, remove a sender's entries, set
// the display-limit index to any value), run against the real log and against a
// plain list of what the log must hold. Checks, after every operation: the log holds
// what the list holds (at most 200, oldest dropped first, order kept); the page
// starts with its head, lists the active rows in order and then exactly the newest
// min(limit, count) entries, newest first, with limit one of 20, 50, 100, 200.
#include <deque>
#include <string>

#include "core/chat_log.h"
#include "core/message_catalog.h"
#include "fuzz_support.h"
#include "ui/page_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace murelo;
  using namespace murelo::fuzz;
  CInputReader input(data, size);
  MemberTable members;
  CChatLog log;
  std::deque<LogEntry> expected;
  int limitIndex = 0;

  for (int step = 0; step < 1000 && !input.Empty(); ++step) {
    switch (input.Byte() % 4) {
      case 0: {
        MemberEntry& row = members[input.Byte() % kMemberRows];
        row.bActive = input.Byte() & 1;
        row.strName = input.String();
        row.strColor = input.String();
        break;
      }
      case 1: {
        LogEntry entry{input.String(), input.String()};
        expected.push_back(entry);
        if (expected.size() > kLogCapacity) expected.pop_front();
        log.Append(std::move(entry));
        break;
      }
      case 2: {
        const std::string sender = input.String();
        std::erase_if(expected, [&](const LogEntry& entry) { return entry.strSenderIp == sender; });
        log.RemoveSender(sender);
        break;
      }
      case 3:
        limitIndex = input.Int();
        break;
    }

    FUZZ_CHECK(log.Count() == static_cast<int>(expected.size()));
    for (int i = 0; i < log.Count(); ++i) {
      FUZZ_CHECK(log[i].strHtml == expected[i].strHtml);
      FUZZ_CHECK(log[i].strSenderIp == expected[i].strSenderIp);
    }

    const int limit = DisplayLimit(limitIndex);
    FUZZ_CHECK(limit == 20 || limit == 50 || limit == 100 || limit == 200);
    const std::string page = ComposeChatPage(members, log, limit);
    FUZZ_CHECK(page.starts_with(kPageHead));

    std::string want = std::string(kPageHead) + std::string(kPageMembersLabel);
    for (const MemberEntry& row : members) {
      if (row.bActive)
        want += "<font color=" + row.strColor + ">" + row.strName + "</font>\x81\x99";
    }
    want += '\n';
    const int shown = std::min(limit, log.Count());
    for (int i = 0; i < shown; ++i) {
      want += "<hr>" + expected[expected.size() - 1 - i].strHtml + "\n";
    }
    FUZZ_CHECK(page == want);
  }
  return 0;
}
