// The program's icon: a speech bubble holding two lines of chat (dist/icons/murelo.svg).
#pragma once

#include <QIcon>

namespace murelo {

/// The icon at 16, 32 and 64 pixels.
QIcon AppIcon();

}  // namespace murelo
