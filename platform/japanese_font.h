// The font of the dialogs and of the input bar, chosen in this one place.
#pragma once

#include <QFont>

namespace murelo {

/// "ＭＳ Ｐゴシック" at 9 points. Where it is not installed, the next installed
/// Japanese sans-serif family takes its place at the same size.
QFont DialogFont();

}  // namespace murelo
