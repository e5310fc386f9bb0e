// The fonts of the dialogs, the input bar and the chat page, chosen in this one place.
#pragma once

#include <QFont>

namespace murelo {

/// "ＭＳ Ｐゴシック" at 9 points. Where it is not installed, the next installed
/// Japanese sans-serif family takes its place at the same size.
QFont DialogFont();

/// The chat page's default font: "ＭＳ Ｐゴシック" at 12 points, or the next installed
/// Japanese sans-serif family at that size.
QFont PageFont();

/// Makes the Japanese face names that pages ask for by name ("ＭＳ Ｐ明朝" on the splash
/// page, and the other faces of the same two families) stand for installed Japanese
/// families, serif for serif. Call before drawing a page; calls after the first do nothing.
void InstallPageFontSubstitutes();

}  // namespace murelo
