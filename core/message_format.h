// Filling the catalog's formats. Every placeholder of a catalog text is "%s", so a
// format is filled by plain substitution: no printf, no length limit, and a percent
// sign inside an argument stays as typed.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace murelo {

/// Appends format to out with its n-th "%s" replaced by the n-th argument.
/// Placeholders without an argument become empty; extra arguments are ignored.
void AppendFormat(std::string& out, std::string_view format,
                  std::initializer_list<std::string_view> args);

/// The filled format as a new string.
std::string FillFormat(std::string_view format, std::initializer_list<std::string_view> args);

}  // namespace murelo
