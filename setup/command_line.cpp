#include "setup/command_line.h"

#include "platform/text/wide_text.h"

namespace setup {

HostprepArguments ParseCommandLine(std::string_view raw) {
  HostprepArguments args;
  std::string* targets[] = {&args.a, &args.b, &args.c, &args.d};
  std::size_t at = 0;
  for (int index = 0; index < 4 && at < raw.size(); ++index) {
    std::string& out = *targets[index];
    const bool last = index == 3;
    bool quoted = false;
    while (at < raw.size()) {
      const char c = raw[at++];
      if (c == '"') {
        if (quoted && last) break;  // D ends at its closing quote
        quoted = !quoted;
        continue;
      }
      if (c == ' ' && !quoted) break;  // the one separating space is consumed here
      out += c;
    }
    // Characters as the ANSI code page reads them (several bytes a character in UTF-8).
    args.overlong = args.overlong || platform::text::widen(out).size() > kMaxArgument;
    if (last) break;
  }
  return args;
}

std::string_view TextAfterProgramName(std::string_view commandLine) {
  std::size_t at = 0;
  if (!commandLine.empty() && commandLine.front() == '"') {
    at = commandLine.find('"', 1);
    at = at == std::string_view::npos ? commandLine.size() : at + 1;
  }
  while (at < commandLine.size() && commandLine[at] != ' ' && commandLine[at] != '\t') ++at;
  while (at < commandLine.size() && (commandLine[at] == ' ' || commandLine[at] == '\t')) ++at;
  return commandLine.substr(at);
}

std::string RawCommandLine(int argc, const char* const* argv) {
  std::string raw;
  for (int i = 1; i < argc; ++i) {
    const std::string_view word(argv[i]);
    if (word.find('"') != std::string_view::npos) return std::string();
    if (i > 1) raw += ' ';
    if (word.empty() || word.find(' ') != std::string_view::npos) {
      raw += '"';
      raw += word;
      raw += '"';
    } else {
      raw += word;
    }
  }
  return raw;
}

}  // namespace setup
