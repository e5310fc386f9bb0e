#include "platform/irc/irc_line.h"

#include <algorithm>

namespace murelo {

namespace {

std::string_view NextWord(std::string_view& rest) {
  rest.remove_prefix(std::min(rest.find_first_not_of(' '), rest.size()));
  const size_t end = std::min(rest.find(' '), rest.size());
  const std::string_view word = rest.substr(0, end);
  rest.remove_prefix(end);
  rest.remove_prefix(std::min(rest.find_first_not_of(' '), rest.size()));
  return word;
}

bool EndsLine(char c) { return c == '\r' || c == '\n' || c == '\0'; }

}  // namespace

std::string_view CIrcLine::Nick() const {
  const std::string_view prefix = strPrefix;
  return prefix.substr(0, prefix.find_first_of("!@"));
}

std::string_view CIrcLine::User() const {
  std::string_view prefix = strPrefix;
  const size_t bang = prefix.find('!');
  if (bang == std::string_view::npos) return {};
  prefix = prefix.substr(bang + 1);
  prefix = prefix.substr(0, prefix.find('@'));
  if (prefix.starts_with('~')) prefix.remove_prefix(1);
  return prefix;
}

bool ParseIrcLine(std::string_view line, CIrcLine& parsed) {
  parsed = {};
  if (line.starts_with(':')) {
    line.remove_prefix(1);
    parsed.strPrefix = NextWord(line);
  }
  parsed.strCommand = NextWord(line);
  while (!line.empty()) {
    if (line.starts_with(':')) {
      parsed.params.emplace_back(line.substr(1));
      break;
    }
    parsed.params.emplace_back(NextWord(line));
  }
  return !parsed.strCommand.empty();
}

std::string IrcCommand(std::string_view command, std::initializer_list<std::string_view> middle,
                       std::string_view trailing) {
  std::string line(command);
  for (std::string_view param : middle) {
    line += ' ';
    for (char c : param) line += (EndsLine(c) || c == ' ') ? '_' : c;
  }
  if (trailing.empty()) return line + "\r\n";
  line += " :";
  for (char c : trailing) line += EndsLine(c) ? ' ' : c;
  line += "\r\n";
  return line;
}

}  // namespace murelo
