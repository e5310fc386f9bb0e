// The program's icon: a speech bubble, drawn here rather than shipped as an image.
#pragma once

#include <QIcon>

namespace murelo {

/// The icon at 16, 32 and 64 pixels.
QIcon AppIcon();

}  // namespace murelo
