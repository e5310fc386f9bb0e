// The command line: hosting or joining at once, a name or colour for this start, a
// room with no window, the directory of data.htm and data.dat. It is read with
// QCommandLineParser before any application object exists, so --help, --version and
// mistakes are answered without a display.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string>

#include "app/data_dat.h"
#include "core/murelo_view.h"
#include "platform/irc/irc_client.h"

namespace murelo {

/// Exit statuses of a start that ends at once.
inline constexpr int kExitUsage = 2;  // a mistake on the command line

struct CStartRequest {
  bool bHost = false;                  // host at once, as a dialog confirmed with its box ticked
  bool bHeadless = false;              // host with no window
  std::optional<CIrcEndpoint> bridge;  // the IRC channel the room with no window joins
  std::optional<std::string> strJoinHost;  // join at once; CP932, cut at its first blank
  std::optional<std::string> strName;      // for this start, CP932
  std::optional<std::string> strColor;     // for this start, CP932
  std::string strDirectory;                // of data.htm and data.dat; empty: the current one
  // A search of the history instead of a conversation: the words, the room (empty: any),
  // the earliest time (0: any) and how many of the newest to print.
  std::optional<QStringList> searchWords;
  QString strSearchRoom;
  qint64 nSearchSinceMs = 0;
  int nSearchLimit = 50;
  bool bForgetHistory = false;  // delete the history instead
  // Set when the program is to end at once with this status, after printing strMessage
  // (UTF-8): to standard output for status 0, else to standard error.
  std::optional<int> nExitStatus;
  std::string strMessage;

  bool ConnectsAtStart() const { return bHost || bHeadless || strJoinHost.has_value(); }
};

/// arguments as main received them, the program's name first.
CStartRequest ParseCommandLine(const QStringList& arguments);

/// Stores the request's name, colour and host in settings, as a confirmed connect
/// dialog stores what it was given.
void ApplyToSettings(const CStartRequest& request, CDataDat& settings);

/// The view's options: the chat port is CHAT_PORT unless MURELO_CHAT_PORT names another
/// (tests run several copies on one machine).
CViewOptions ViewOptionsFromEnvironment();

}  // namespace murelo
