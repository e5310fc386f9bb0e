// The texts of the dialogs and the input bar, as CP932 bytes like every text of the
// program; widgets get them through ToQString (platform/cp932.h). The comment above
// each shows it in readable form.
#pragma once

#include <string_view>

namespace murelo {

// One text a line, so that each reads against the comment above it.
// clang-format off

// Connect dialog.
// 接続 (caption)
inline constexpr std::string_view kConnectCaption = "\220\332\221\261";
// お名前 (name label, also in the name-and-colour dialog)
inline constexpr std::string_view kNameLabel = "\202\250\226\274\221O";
// ＨＯＳＴ　ＩＰ (host label: full-width letters and blank)
inline constexpr std::string_view kHostLabel = "\202g\202n\202r\202s\201@\202h\202o";
// サーバーになる (become-server check box)
inline constexpr std::string_view kBeServerCheck = "\203T\201[\203o\201[\202\311\202\310\202\351";
// キャンセル (cancel button, also in the name-and-colour dialog)
inline constexpr std::string_view kCancelButton = "\203L\203\203\203\223\203Z\203\213";
// 接続 (confirm button)
inline constexpr std::string_view kConnectButton = "\220\332\221\261";
// 色 (colour label, also in the name-and-colour dialog)
inline constexpr std::string_view kColorLabel = "\220F";

// Name-and-colour dialog.
// 名前と色を変更 (caption)
inline constexpr std::string_view kNameColorCaption = "\226\274\221O\202\306\220F\202\360\225\317\215X";
// 更新 (confirm button)
inline constexpr std::string_view kUpdateButton = "\215X\220V";

// About box.
// mureloのﾊﾞｰｼﾞｮﾝ情報 (caption, with half-width katakana)
inline constexpr std::string_view kAboutCaption = "murelo\202\314\312\336\260\274\336\256\335\217\356\225\361";
// Murelo Version 0.04
inline constexpr std::string_view kAboutVersionLine = "Murelo Version 0.04";
// LANのみんなのチャット
inline constexpr std::string_view kAboutSecondLine = "LAN\202\314\202\335\202\361\202\310\202\314\203`\203\203\203b\203g";
// OK
inline constexpr std::string_view kAboutOkButton = "OK";

// Input bar.
// 送信 (send button)
inline constexpr std::string_view kSendButton = "\221\227\220M";

// Main window menu.
// 接続(&F)
inline constexpr std::string_view kMenuConnection = "\220\332\221\261(&F)";
// 接続(&C)
inline constexpr std::string_view kMenuConnect = "\220\332\221\261(&C)";
// 切断(&D)
inline constexpr std::string_view kMenuDisconnect = "\220\330\222f(&D)";
// 終了(&X)
inline constexpr std::string_view kMenuExit = "\217I\227\271(&X)";
// 設定(&S)
inline constexpr std::string_view kMenuSettings = "\220\335\222\350(&S)";
// 名前＆色　変更(&N)
inline constexpr std::string_view kMenuChangeNameColor = "\226\274\221O\201\225\220F\201@\225\317\215X(&N)";
// 表示ログ行数
inline constexpr std::string_view kMenuLogLines = "\225\\\216\246\203\215\203O\215s\220\224";
// 通知(&N): desktop notifications of lines that arrive while the window is inactive.
inline constexpr std::string_view kMenuNotifications = "\222\312\222m(&N)";
// ﾍﾙﾌﾟ(&H)
inline constexpr std::string_view kMenuHelp = "\315\331\314\337(&H)";
// murelo のﾊﾞｰｼﾞｮﾝ情報(&A)...
inline constexpr std::string_view kMenuAbout = "murelo \202\314\312\336\260\274\336\256\335\217\356\225\361(&A)...";
// History menu, and the history item of the settings menu.
// 履歴(&L)
inline constexpr std::string_view kMenuHistory = "\227\232\227\360(&L)";
// 検索(&F)... (opens the search window, Ctrl+F)
inline constexpr std::string_view kMenuHistorySearch = "\214\237\215\365(&F)...";
// 履歴を消去(&D)...
inline constexpr std::string_view kMenuHistoryForget = "\227\232\227\360\202\360\217\301\213\216(&D)...";
// 履歴を保存(&R) (in 設定: the history on or off)
inline constexpr std::string_view kMenuHistoryRecord = "\227\232\227\360\202\360\225\333\221\266(&R)";

// History search window.
// 履歴の検索 (caption)
inline constexpr std::string_view kHistoryCaption = "\227\232\227\360\202\314\214\237\215\365";
// 探す語（空白で区切ると、そのすべてを含む行） (the query field, empty)
inline constexpr std::string_view kHistoryQueryHint = "\222T\202\267\214\352\201i\213\363\224\222\202\305\213\346\220\330\202\351\202\306\201A\202\273\202\314\202\267\202\327\202\304\202\360\212\334\202\336\215s\201j";
// %1 件 (above the hits)
inline constexpr std::string_view kHistoryHitCount = "%1 \214\217";
// M月d日 HH:mm (a hit of this year (a Qt date format))
inline constexpr std::string_view kHistoryThisYear = "M\214\216d\223\372 HH:mm";
// yyyy年M月d日 (a hit of an earlier year)
inline constexpr std::string_view kHistoryOlder = "yyyy\224NM\214\216d\223\372";
// 履歴の保存は切ってあります。これまでの行から探します。 (the history switched off)
inline constexpr std::string_view kHistoryNotRecording = "\227\232\227\360\202\314\225\333\221\266\202\315\220\330\202\301\202\304\202\240\202\350\202\334\202\267\201B\202\261\202\352\202\334\202\305\202\314\215s\202\251\202\347\222T\202\265\202\334\202\267\201B";
// 履歴を読めません。
inline constexpr std::string_view kHistoryUnreadable = "\227\232\227\360\202\360\223\307\202\337\202\334\202\271\202\361\201B";
// 履歴 %1 の %2 行をすべて消去します。よろしいですか？ (the file, its lines)
inline constexpr std::string_view kHistoryForgetQuestion = "\227\232\227\360 %1 \202\314 %2 \215s\202\360\202\267\202\327\202\304\217\301\213\216\202\265\202\334\202\267\201B\202\346\202\353\202\265\202\242\202\305\202\267\202\251\201H";
// 履歴を消去できませんでした。
inline constexpr std::string_view kHistoryForgetFailed = "\227\232\227\360\202\360\217\301\213\216\202\305\202\253\202\334\202\271\202\361\202\305\202\265\202\275\201B";
// clang-format on

}  // namespace murelo
