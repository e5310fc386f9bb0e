// LoopbackTest: the fixture of the tests that run copies of the chat view over loopback.
#pragma once

#include <gtest/gtest.h>

#include "loopback.h"

namespace murelo::test {

/// Copies of the chat view on a port and in page directories of their own: a server in
/// red, clients in blue.
class LoopbackTest : public testing::Test {
 protected:
  ChatCopy& NewCopy(const std::string& name = "") {
    const std::string directory = name.empty() ? "copy" + std::to_string(copies.size()) : name;
    copies.push_back(std::make_unique<ChatCopy>(dir.path() / directory, port));
    return *copies.back();
  }
  ChatCopy& StartServer() {
    ChatCopy& server = NewCopy();
    server.Host("host", "red");
    return server;
  }
  /// A client that has joined and whose own row has come back from the server.
  ChatCopy& JoinClient(const std::string& name) {
    ChatCopy& client = NewCopy();
    client.Join(name, "blue");
    EXPECT_TRUE(WaitFor([&] {  // its row, unless the table was full
      const std::vector<std::string> members = client.Members();
      return client.view().m_bConnected &&
             (members.size() == kMemberRows || std::ranges::count(members, "blue/" + name) == 1);
    })) << name;
    return client;
  }
  /// Says text from a copy and waits until every one of everyone has logged it.
  static void SayAndWait(ChatCopy& from, const std::string& text,
                         std::initializer_list<ChatCopy*> everyone) {
    from.Say(text);
    const std::string shown =
        FirstLine(ChatLine(from.view().m_strColor, from.view().m_strName, text));
    for (ChatCopy* copy : everyone) ASSERT_TRUE(WaitFor([&] { return copy->Logged(shown); }));
  }

  ScopedTempDir dir;
  const uint16_t port = FreePort();
  std::vector<std::unique_ptr<ChatCopy>> copies;
};

}  // namespace murelo::test
