#include "core/message_format.h"

namespace murelo {

void AppendFormat(std::string& out, std::string_view format,
                  std::initializer_list<std::string_view> args) {
  const std::string_view* next = args.begin();
  size_t start = 0;
  for (size_t at = format.find("%s"); at != std::string_view::npos; at = format.find("%s", start)) {
    out.append(format, start, at - start);
    if (next != args.end()) out.append(*next++);
    start = at + 2;
  }
  out.append(format, start);
}

std::string FillFormat(std::string_view format, std::initializer_list<std::string_view> args) {
  size_t size = format.size();
  for (std::string_view arg : args) size += arg.size();
  std::string text;
  text.reserve(size);
  AppendFormat(text, format, args);
  return text;
}

}  // namespace murelo
