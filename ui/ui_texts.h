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
// ﾍﾙﾌﾟ(&H)
// 通知(&N): desktop notifications of lines that arrive while the window is inactive.
inline constexpr std::string_view kMenuNotifications = "\222\312\222m(&N)";
inline constexpr std::string_view kMenuHelp = "\315\331\314\337(&H)";
// murelo のﾊﾞｰｼﾞｮﾝ情報(&A)...
inline constexpr std::string_view kMenuAbout = "murelo \202\314\312\336\260\274\336\256\335\217\356\225\361(&A)...";
// clang-format on

}  // namespace murelo
