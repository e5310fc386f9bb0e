#include "app/bridge_options.h"

#include <QFile>
#include <QRegularExpression>
#include <QUrl>

namespace murelo {

namespace {

constexpr qint64 kMaxPasswordBytes = 1024;
constexpr qint64 kMaxCaFileBytes = 1 << 20;
constexpr qsizetype kMaxChannelBytes = 50;  // RFC 2812's

/// The channel of an address: its fragment (#chan), else its path (/%23chan or /chan).
QString ChannelOf(const QUrl& url) {
  QString channel = url.hasFragment() ? '#' + url.fragment(QUrl::FullyDecoded)
                                      : url.path(QUrl::FullyDecoded).mid(1);
  if (!channel.isEmpty() && !channel.startsWith(u'#') && !channel.startsWith(u'&'))
    channel.prepend(u'#');
  return channel;
}

bool IsChannel(const QString& channel) {
  static const QRegularExpression name(uR"(^[#&][^\x00-\x20,:\x7f]+$)"_qs);
  return name.match(channel).hasMatch() && channel.toUtf8().size() <= kMaxChannelBytes;
}

}  // namespace

QString ReadBridgeOptions(const CBridgeOptions& options, CIrcEndpoint& endpoint) {
  const QUrl url(options.strUrl, QUrl::StrictMode);
  const QString scheme = url.scheme();
  // The channel is the fragment or the path, never both; a query or port 0 has no use.
  const bool oneChannel = !url.hasFragment() || url.path().isEmpty() || url.path() == u"/";
  if (!url.isValid() || (scheme != u"irc" && scheme != u"ircs") || url.host().isEmpty() ||
      !oneChannel || url.hasQuery() || url.port() == 0)
    return "--bridge の値は irc://サーバー[:ポート]/#チャンネル の形にしてください: 「" +
           options.strUrl + "」";
  if (!url.userInfo().isEmpty())
    return "--bridge のアドレスにパスワードを書かず、--bridge-password-file を使ってください。";
  endpoint.bTls = scheme == u"ircs";
  endpoint.strHost = url.host();
  endpoint.nPort = static_cast<quint16>(url.port(endpoint.bTls ? 6697 : 6667));
  endpoint.strChannel = ChannelOf(url);
  if (!IsChannel(endpoint.strChannel))
    return "--bridge のチャンネル名が使えません: 「" + endpoint.strChannel + "」";

  if (!options.strNick.isEmpty()) {
    static const QRegularExpression nick(
        uR"(^[A-Za-z\[\]\\`_^{|}][A-Za-z0-9\[\]\\`_^{|}-]{0,29}$)"_qs);
    if (!nick.match(options.strNick).hasMatch())
      return "--bridge-nick のニックネームが使えません（英字で始まる 30 字までの英数字など）: 「" +
             options.strNick + "」";
    endpoint.strNick = options.strNick;
  }
  if (!options.strCaFile.isEmpty()) {
    if (!endpoint.bTls) return "--bridge-ca は ircs:// のサーバーに使います。";
    // Read now, taken apart once the program has started Qt's TLS.
    QFile file(options.strCaFile);
    if (file.open(QIODevice::ReadOnly)) endpoint.extraCertificates = file.read(kMaxCaFileBytes);
    if (!endpoint.extraCertificates.contains("-----BEGIN CERTIFICATE-----"))
      return "--bridge-ca の証明書（PEM）を読めません: 「" + options.strCaFile + "」";
  }
  if (!options.strPasswordFile.isEmpty()) {
    QFile file(options.strPasswordFile);
    if (!file.open(QIODevice::ReadOnly))
      return "--bridge-password-file を読めません: 「" + options.strPasswordFile + "」";
    endpoint.password = file.read(kMaxPasswordBytes).split('\n').first().trimmed();
    if (endpoint.password.isEmpty())
      return "--bridge-password-file の最初の行にパスワードがありません。";
  }
  return {};
}

}  // namespace murelo
