// The command line's --bridge options read into where the bridge goes and who it is:
// the address irc://SERVER[:PORT]/#CHANNEL (ircs:// for TLS), a CA file, a nick and a
// file with the server's password.
#pragma once

#include <QString>

#include "platform/irc/irc_client.h"

namespace murelo {

struct CBridgeOptions {
  QString strUrl;
  QString strCaFile;  // empty: the system's CAs alone
  QString strNick;    // empty: the default
  QString strPasswordFile;
};

/// Fills endpoint from options; on a mistake, returns what is wrong, in Japanese.
QString ReadBridgeOptions(const CBridgeOptions& options, CIrcEndpoint& endpoint);

}  // namespace murelo
