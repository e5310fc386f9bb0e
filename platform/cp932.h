// Conversion between the program's text, CP932 bytes in std::string, and Qt's QString.
// Every text crosses into Qt here and nowhere else. Each thread that converts has iconv
// converters of its own, and a table of what they read each CP932 character as (about
// 64 KiB), kept for the thread's life.
#pragma once

#include <QString>
#include <QStringView>
#include <cstddef>
#include <string>
#include <string_view>

namespace murelo {

/// The text that the CP932 bytes stand for. A byte that starts no valid CP932
/// character becomes U+FFFD and the conversion goes on with the next byte.
QString ToQString(std::string_view cp932);

/// text as CP932 bytes. A character CP932 cannot hold (an emoji, say) becomes the HTML
/// numeric character reference "&#N;" of its code point in decimal, so every copy shows
/// it as typed; an unpaired surrogate counts as U+FFFD.
std::string ToCp932(QStringView text);

/// The size of ToCp932(text).
size_t Cp932Length(QStringView text);

/// The number of UTF-16 units of the longest prefix of text that is made of whole
/// characters and whose ToCp932 form is at most maxBytes long.
qsizetype Cp932FittingPrefix(QStringView text, size_t maxBytes);

}  // namespace murelo
