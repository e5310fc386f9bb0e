// The chat page for any state. The input is a program of operations on a member table
// and a chat log (set a row, append an entry, remove a sender's entries, set the
// display-limit index to any value), run against the real log and against a plain list
// of what the log must hold. Checks, after every operation: the log holds what the list
// holds (at most 200, oldest dropped first, order kept); the page is its head, the active
// rows in order and then exactly the newest min(limit, count) entries, newest first, with
// limit one of 20, 50, 100, 200.
#include <fuzzer/FuzzedDataProvider.h>

#include <deque>
#include <string>

#include "core/chat_log.h"
#include "core/message_catalog.h"
#include "fuzz_support.h"
#include "ui/page_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace murelo;
  FuzzedDataProvider input(data, size);
  MemberTable members;
  CChatLog log;
  std::deque<LogEntry> expected;
  int limitIndex = 0;

  for (int step = 0; step < 1000 && input.remaining_bytes() > 0; ++step) {
    switch (input.ConsumeIntegralInRange(0, 3)) {
      case 0: {
        MemberEntry& row = members[input.ConsumeIntegralInRange(0, kMemberRows - 1)];
        row = {input.ConsumeBool(), input.ConsumeRandomLengthString(),
               input.ConsumeRandomLengthString()};
        break;
      }
      case 1:
        expected.push_back({input.ConsumeRandomLengthString(), input.ConsumeRandomLengthString()});
        if (expected.size() > kLogCapacity) expected.pop_front();
        log.Append(expected.back());
        break;
      case 2: {
        const std::string sender = input.ConsumeRandomLengthString();
        std::erase_if(expected, [&](const LogEntry& entry) { return entry.strSenderIp == sender; });
        log.RemoveSender(sender);
        break;
      }
      case 3:
        limitIndex = input.ConsumeIntegral<int>();
    }

    FUZZ_CHECK(log.Count() == static_cast<int>(expected.size()));
    const int limit = DisplayLimit(limitIndex);
    FUZZ_CHECK(limit == 20 || limit == 50 || limit == 100 || limit == 200);
    std::string page = std::string(kPageHead) + std::string(kPageMembersLabel);
    for (const MemberEntry& row : members) {
      if (row.bActive)
        page += "<font color=" + row.strColor + ">" + row.strName + "</font>\x81\x99";
    }
    page += '\n';
    for (int i = 0; i < log.Count(); ++i) {
      FUZZ_CHECK(log[i].strHtml == expected[i].strHtml &&
                 log[i].strSenderIp == expected[i].strSenderIp);
      if (i < limit) page += "<hr>" + expected[expected.size() - 1 - i].strHtml + "\n";
    }
    FUZZ_CHECK(ComposeChatPage(members, log, limit) == page);
  }
  return 0;
}
