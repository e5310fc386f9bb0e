#include "app/command_line.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QRegularExpression>
#include <cstdlib>

#include "app/bridge_options.h"
#include "core/view_host.h"
#include "platform/cp932.h"

namespace murelo {

namespace {

const QString kSeeHelp = QStringLiteral("使い方は murelo --help で見られます。\n");

CStartRequest Ending(int status, const QString& message) {
  CStartRequest request;
  request.nExitStatus = status;
  request.strMessage =
      (status == 0 ? message : "murelo: " + message + u'\n' + kSeeHelp).toStdString();
  return request;
}

QString HelpText(const QList<QCommandLineOption>& options) {
  QString text = QStringLiteral(
      "使い方: murelo [オプション]\n"
      "LAN のチャット。オプションなしでは、接続ダイアログから始めます。\n\n"
      "オプション:\n");
  for (const QCommandLineOption& option : options) {
    QStringList names;
    for (const QString& name : option.names()) names += (name.size() == 1 ? "-" : "--") + name;
    text += "  " + names.join(", ");
    if (!option.valueName().isEmpty()) text += " <" + option.valueName() + '>';
    text += "\n      " + option.description() + '\n';
  }
  return text;
}

/// value in CP932 as an edit of the dialogs would hand it over, when it is one line and
/// not empty.
std::optional<std::string> OneLineValue(const QString& value) {
  if (value.isEmpty() || value.contains(u'\n') || value.contains(u'\r')) return std::nullopt;
  return ToCp932(value);
}

CStartRequest SearchRequest(const QCommandLineParser& parser, const QString& room,
                            const QString& since, const QString& limit) {
  CStartRequest request;
  request.searchWords = parser.positionalArguments();
  if (request.searchWords->join(u"").trimmed().isEmpty())
    return Ending(kExitUsage, "--search の後に探す語を書いてください。");
  request.strSearchRoom = room;
  if (!since.isEmpty()) {
    QDateTime time;
    for (const QString& format :
         {u"yyyy-MM-dd"_qs, u"yyyy-MM-dd HH:mm"_qs, u"yyyy-MM-dd HH:mm:ss"_qs})
      if (!time.isValid()) time = QDateTime::fromString(since.trimmed(), format);
    if (!time.isValid())
      return Ending(kExitUsage,
                    "--since の日時が読めません: 「" + since + "」（例: 2026-12-07 09:30）");
    request.nSearchSinceMs = time.toMSecsSinceEpoch();
  }
  bool number = false;
  request.nSearchLimit = limit.toInt(&number);
  if (!number || request.nSearchLimit <= 0)
    return Ending(kExitUsage, "--limit には正の数を書いてください: 「" + limit + "」");
  return request;
}

}  // namespace

CStartRequest ParseCommandLine(const QStringList& arguments) {
  const QCommandLineOption host(
      u"host"_qs,
      u"すぐにホストになります（接続ダイアログで「サーバーになる」を選んだのと同じ）。"_qs);
  const QCommandLineOption join(
      u"join"_qs, u"アドレスのホストにすぐ接続します。最初の空白から後は使いません。"_qs,
      u"アドレス"_qs);
  const QCommandLineOption name(
      u"name"_qs, u"この起動でのハンドル名。data.dat の名前の代わりに使い、保存します。"_qs,
      u"名前"_qs);
  const QCommandLineOption color(
      u"color"_qs,
      u"この起動での色（red、#00ffff など）。data.dat の色の代わりに使い、保存します。"_qs,
      u"色"_qs);
  const QCommandLineOption headless(
      u"headless"_qs,
      u"ウィンドウを開かずに、ポート 4000 でホストとして動きます（常設の部屋）。画面は要りません。"_qs);
  const QCommandLineOption bridge(
      u"bridge"_qs,
      u"--headless の部屋を IRC のチャンネルにつなぎ、ひとつの会話にします: irc://サーバー[:ポート]/#チャンネル（TLS は ircs://）。"_qs,
      u"URL"_qs);
  const QCommandLineOption bridgeCa(
      u"bridge-ca"_qs,
      u"--bridge: ircs:// のサーバー証明書を、システムの認証局に加えてこのファイル（PEM）の認証局でも確かめます。"_qs,
      u"ファイル"_qs);
  const QCommandLineOption bridgeNick(
      u"bridge-nick"_qs,
      u"--bridge: IRC でのニックネーム（既定 murelo、使われていれば番号を付けます）。ほかの部屋ではこの名前が部屋を示します。"_qs,
      u"ニック"_qs);
  const QCommandLineOption bridgePassword(
      u"bridge-password-file"_qs,
      u"--bridge: IRC サーバーのパスワードを最初の行に書いたファイル。"_qs, u"ファイル"_qs);
  const QCommandLineOption dir(
      u"dir"_qs, u"data.htm と data.dat を置くディレクトリ。既定は現在のディレクトリです。"_qs,
      u"ディレクトリ"_qs);
  const QCommandLineOption search(
      u"search"_qs,
      u"履歴から、後に続く語をすべて含む行を探して表示します（新しいものが最後）。見つかれば 0、なければ 1 で終わります。"_qs);
  const QCommandLineOption room(u"room"_qs, u"--search: この部屋（ホストのアドレス）の行だけ。"_qs,
                                u"アドレス"_qs);
  const QCommandLineOption since(
      u"since"_qs, u"--search: この日時（YYYY-MM-DD [HH:MM[:SS]]）から後の行だけ。"_qs, u"日時"_qs);
  const QCommandLineOption limit(
      u"limit"_qs, u"--search: 新しいものからこの数まで表示します（既定 50）。"_qs, u"数"_qs);
  const QCommandLineOption forget(u"forget-history"_qs, u"履歴をすべて消去して終了します。"_qs);
  const QCommandLineOption help({u"h"_qs, u"help"_qs}, u"このヘルプを表示して終了します。"_qs);
  const QCommandLineOption version({u"v"_qs, u"version"_qs},
                                   u"バージョンを表示して終了します。"_qs);
  const QList<QCommandLineOption> options = {
      host, join,   name, color, headless, bridge, bridgeCa, bridgeNick, bridgePassword,
      dir,  search, room, since, limit,    forget, help,     version};

  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.addOptions(options);
  if (!parser.parse(arguments)) {
    if (!parser.unknownOptionNames().isEmpty()) {
      const QString name = parser.unknownOptionNames().first();
      return Ending(kExitUsage,
                    "不明なオプションです: " + QString(name.size() == 1 ? "-" : "--") + name);
    }
    static const QRegularExpression quoted(u"'([^']*)'"_qs);
    const QString option = quoted.match(parser.errorText()).captured(1);
    return Ending(kExitUsage, parser.errorText().startsWith("Missing value")
                                  ? "オプションに値がありません: " + option
                                  : "値を取らないオプションです: " + option);
  }
  if (parser.isSet(help)) return Ending(0, HelpText(options));
  if (parser.isSet(version)) return Ending(0, u"murelo " MURELO_VERSION "\n"_qs);
  // A value option followed by another option has taken that option for its value.
  for (const QCommandLineOption* option : {&join, &name, &color, &bridge, &bridgeCa, &bridgeNick,
                                           &bridgePassword, &dir, &room, &since, &limit}) {
    if (parser.value(*option).startsWith(u"--"))
      return Ending(kExitUsage, "オプションに値がありません: --" + option->names()[0]);
  }
  const bool starts = parser.isSet(host) || parser.isSet(join) || parser.isSet(headless);
  if (parser.isSet(search) || parser.isSet(forget)) {
    if (starts || (parser.isSet(search) && parser.isSet(forget)))
      return Ending(kExitUsage, "--search と --forget-history は、ほかの動作と一緒に使えません。");
  }
  for (const QCommandLineOption* option : {&room, &since, &limit}) {
    if (parser.isSet(*option) && !parser.isSet(search))
      return Ending(kExitUsage, "--" + option->names()[0] + " は --search と使います。");
  }
  if (parser.isSet(search))
    return SearchRequest(parser, parser.value(room), parser.value(since),
                         parser.isSet(limit) ? parser.value(limit) : u"50"_qs);
  if (!parser.positionalArguments().isEmpty())
    return Ending(kExitUsage, "余分な引数です: " + parser.positionalArguments().join(' '));
  if (parser.isSet(join) && (parser.isSet(host) || parser.isSet(headless)))
    return Ending(kExitUsage, "--join は --host とも --headless とも一緒に使えません。");
  for (const QCommandLineOption* option : {&bridgeCa, &bridgeNick, &bridgePassword}) {
    if (parser.isSet(*option) && !parser.isSet(bridge))
      return Ending(kExitUsage, "--" + option->names()[0] + " は --bridge と使います。");
  }
  if (parser.isSet(bridge) && !parser.isSet(headless))
    return Ending(kExitUsage, "--bridge は --headless と使います。");

  CStartRequest request;
  request.bForgetHistory = parser.isSet(forget);
  request.bHost = parser.isSet(host);
  request.bHeadless = parser.isSet(headless);
  request.strDirectory = parser.value(dir).toStdString();
  if (parser.isSet(bridge)) {
    request.bridge.emplace();
    const QString mistake =
        ReadBridgeOptions({parser.value(bridge), parser.value(bridgeCa), parser.value(bridgeNick),
                           parser.value(bridgePassword)},
                          *request.bridge);
    if (!mistake.isEmpty()) return Ending(kExitUsage, mistake);
  }
  if (parser.isSet(dir) && request.strDirectory.empty())
    return Ending(kExitUsage, "--dir の値が空です。");
  if (parser.isSet(join)) {
    request.strJoinHost = CutHostAtFirstBlank(ToCp932(parser.value(join)));
    if (request.strJoinHost->empty())
      return Ending(kExitUsage, "--join のアドレスが空です: 「" + parser.value(join) + "」");
  }
  for (const auto& [option, value] :
       {std::pair{&name, &request.strName}, {&color, &request.strColor}}) {
    if (!parser.isSet(*option)) continue;
    *value = OneLineValue(parser.value(*option));
    if (!*value)
      return Ending(kExitUsage,
                    "--" + option->names()[0] + " の値は、空でない一行にしてください。");
  }
  return request;
}

void ApplyToSettings(const CStartRequest& request, CDataDat& settings) {
  if (request.strName) settings.m_strName = *request.strName;
  if (request.strColor) settings.m_strColor = *request.strColor;
  if (request.strJoinHost) settings.m_strHost = *request.strJoinHost;
}

CViewOptions ViewOptionsFromEnvironment() {
  CViewOptions options;
  if (const char* port = std::getenv("MURELO_CHAT_PORT")) {
    char* end = nullptr;
    const long value = std::strtol(port, &end, 10);
    if (*end == '\0' && value > 0 && value < 65536)
      options.nChatPort = static_cast<uint16_t>(value);
  }
  return options;
}

}  // namespace murelo
