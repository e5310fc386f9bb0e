// The system's fixed texts, as the CP932 bytes that go on the wire, into the page
// file and into message boxes. Each text is defined here once; the comment above it
// shows it in readable form. Formats are filled with FillFormat (message_format.h).
#pragma once

#include <string_view>

namespace murelo {

// One text a line, so that each reads against the comment above it.
// clang-format off

// Message texts sent, relayed or processed locally; every placeholder is %s.
// <font color=%s><b>%s</b></font>：%s\n%s\n (colour, name, typed text, own address)
inline constexpr std::string_view kChatLineFormat = "<font color=%s><b>%s</b></font>\201F%s\n%s\n";
// <b><font size=+2 color=%s>%s</font>さんがいらっしゃいました～♪</font></b>\n%s\n (colour, name,
// own address)
inline constexpr std::string_view kJoinNoticeFormat = "<b><font size=+2 color=%s>%s</font>\202\263\202\361\202\252\202\242\202\347\202\301\202\265\202\341\202\242\202\334\202\265\202\275\201`\201\364</font></b>\n%s\n";
// <b><font size=+2 color=%s>%s</font>さん、さようなら～♪</font></b>\n%s\n (colour, name, own
// address)
inline constexpr std::string_view kLeaveNoticeFormat = "<b><font size=+2 color=%s>%s</font>\202\263\202\361\201A\202\263\202\346\202\244\202\310\202\347\201`\201\364</font></b>\n%s\n";
// \nadd\n%s\n%s\n (colour, name; also each row of the member snapshot)
inline constexpr std::string_view kAddCommandFormat = "\nadd\n%s\n%s\n";
// \ndel\n%s\n%s\n (colour, name)
inline constexpr std::string_view kDelCommandFormat = "\ndel\n%s\n%s\n";
// \nchange\n%s\n%s\n%s\n%s\n (old colour, old name, new colour, new name)
inline constexpr std::string_view kChangeCommandFormat = "\nchange\n%s\n%s\n%s\n%s\n";
// 接続が混んでます　さようなら（爆 (sent to a connection refused for want of a free slot; no line
// feed)
inline constexpr std::string_view kRefusalNotice = "\220\332\221\261\202\252\215\254\202\361\202\305\202\334\202\267\201@\202\263\202\346\202\244\202\310\202\347\201i\224\232";
// 接続されました☆\n%s\n (own address)
inline constexpr std::string_view kAcceptedNoticeFormat = "\220\332\221\261\202\263\202\352\202\334\202\265\202\275\201\231\n%s\n";
// 接続に成功しました♪\n%s\n (own address)
inline constexpr std::string_view kConnectedNoticeFormat = "\220\332\221\261\202\311\220\254\214\367\202\265\202\334\202\265\202\275\201\364\n%s\n";
// ホストＩＰアドレスは  %s
// です。<br>ＩＣＱやメールでみんなを誘いましょう。<br>－接続待機－<BR>\n%s\n (own address, own
// address)
inline constexpr std::string_view kHostingNoticeFormat = "\203z\203X\203g\202h\202o\203A\203h\203\214\203X\202\315  %s  \202\305\202\267\201B<br>\202h\202b\202p\202\342\203\201\201[\203\213\202\305\202\335\202\361\202\310\202\360\227U\202\242\202\334\202\265\202\345\202\244\201B<br>\201|\220\332\221\261\221\322\213@\201|<BR>\n%s\n";
// クライアントとの接続が切断されました\n%s\n (own address)
inline constexpr std::string_view kClientLeftNoticeFormat = "\203N\203\211\203C\203A\203\223\203g\202\306\202\314\220\332\221\261\202\252\220\330\222f\202\263\202\352\202\334\202\265\202\275\n%s\n";
// ホストとの接続が切断されてしまいました。。。\n%s\n (own address)
inline constexpr std::string_view kHostLostNoticeFormat = "\203z\203X\203g\202\306\202\314\220\332\221\261\202\252\220\330\222f\202\263\202\352\202\304\202\265\202\334\202\242\202\334\202\265\202\275\201B\201B\201B\n%s\n";
// ♪～ (replaces the trailing "clear" of a clear request)
inline constexpr std::string_view kClearReplacement = "\201\364\201`";
// 接続を切断しました。\n (one line, so it has no sender)
inline constexpr std::string_view kDisconnectedNotice = "\220\332\221\261\202\360\220\330\222f\202\265\202\334\202\265\202\275\201B\n";

// Message box texts.
// 文字列が異常です (a message of more than ten lines)
inline constexpr std::string_view kBoxMalformedText = "\225\266\216\232\227\361\202\252\210\331\217\355\202\305\202\267";
// ファイルを初期化出来ません。 (data.htm cannot be written)
inline constexpr std::string_view kBoxPageWriteFailed = "\203t\203@\203C\203\213\202\360\217\211\212\372\211\273\217o\227\210\202\334\202\271\202\361\201B";
// ファイルにアクセス出来ません (the splash page cannot be written)
inline constexpr std::string_view kBoxSplashWriteFailed = "\203t\203@\203C\203\213\202\311\203A\203N\203Z\203X\217o\227\210\202\334\202\271\202\361";
// IP取得失敗 (this machine's host name cannot be read)
inline constexpr std::string_view kBoxOwnAddressFailed = "IP\216\346\223\276\216\270\224s";
// error (all peer slots are in use)
inline constexpr std::string_view kBoxNoFreeSlot = "error";
// ポート4000で接続を待機出来ません。 (the chat port cannot be bound or listened on)
inline constexpr std::string_view kBoxListenFailed = "\203|\201[\203g4000\202\305\220\332\221\261\202\360\221\322\213@\217o\227\210\202\334\202\271\202\361\201B";
// ハンドルネームを入力して下さい。 (a dialog confirmed without a name)
inline constexpr std::string_view kBoxNameMissing = "\203n\203\223\203h\203\213\203l\201[\203\200\202\360\223\374\227\315\202\265\202\304\211\272\202\263\202\242\201B";
// 色を入力して下さい。 (a dialog confirmed without a colour)
inline constexpr std::string_view kBoxColorMissing = "\220F\202\360\223\374\227\315\202\265\202\304\211\272\202\263\202\242\201B";
// Windows ｿｹｯﾄの初期化に失敗しました。 (socket support cannot start)
inline constexpr std::string_view kBoxSocketInitFailed = "Windows \277\271\257\304\202\314\217\211\212\372\211\273\202\311\216\270\224s\202\265\202\334\202\265\202\275\201B";

// Pieces of the chat page.
// <html>\n<body bgcolor=#eeeeff>\n
inline constexpr std::string_view kPageHead = "<html>\n<body bgcolor=#eeeeff>\n";
// [参加者]
inline constexpr std::string_view kPageMembersLabel = "[\216Q\211\301\216\322]  ";
// <font color=%s>%s</font>☆ (colour, name)
inline constexpr std::string_view kPageMemberFormat = "<font color=%s>%s</font>\201\231";
// <html>\n<body bgcolor=#eeeeff> (the page shown before the first message)
inline constexpr std::string_view kBlankPage = "<html>\n<body bgcolor=#eeeeff>";
// <html><body bgcolor=#eeeeff text=#000080><center><table width=100% height=100%><tr><tD
// align=center><font size=7 face="ＭＳ Ｐ明朝"><b>Murelo</FONT><p>WHAT A COOL WE
// ARE（違<br><Br>ＬＡＮ　ＣＨＡＴ　ＦＯＲ　ＥＶＥＲＹＯＮＥ<p></b>なんか陳腐過ぎるぞこの画面・・・。</table>
// (written as is, not a format: its percent signs are single)
inline constexpr std::string_view kSplashPage = "<html><body bgcolor=#eeeeff text=#000080><center><table width=100% height=100%><tr><tD align=center><font size=7 face=\"\202l\202r \202o\226\276\222\251\"><b>Murelo</FONT><p>WHAT A COOL WE ARE\201i\210\341<br><Br>\202k\202`\202m\201@\202b\202g\202`\202s\201@\202e\202n\202q\201@\202d\202u\202d\202q\202x\202n\202m\202d<p></b>\202\310\202\361\202\251\222\302\225\205\211\337\202\254\202\351\202\274\202\261\202\314\211\346\226\312\201E\201E\201E\201B</table>";
// clang-format on

}  // namespace murelo
