#pragma once
// hostprep's command line: four arguments A-D read from the raw text after the program's
// name. An argument ends at a space outside quotes (exactly one space is consumed, so two
// make an empty argument); a double quote is never copied and opens or closes a quoted
// stretch; in D a closing quote ends the argument. Each argument holds at most 255
// characters: a longer one marks the whole line, which then does nothing (a path or name
// cut short would be registered as given). The text after D is ignored.

#include <string>
#include <string_view>

namespace setup {

constexpr std::size_t kMaxArgument = 255;

struct HostprepArguments {
  std::string a, b, c, d;
  bool overlong = false;  // an argument held more than kMaxArgument characters
};

HostprepArguments ParseCommandLine(std::string_view raw);

// The raw text a Windows program would have been handed, rebuilt from words the shell has
// already split: joined by single spaces, a word with a space (or an empty one) in quotes.
// A word holding a double quote has no such text (the quote would pair with another and
// shift the arguments): the line is then empty, and does nothing.
std::string RawCommandLine(int argc, const char* const* argv);

// The raw text after the program's name in a command line as Windows hands it over
// (GetCommandLineA): the name, quoted or up to the first blank, and the blanks after it
// taken off, as Windows does for a program's own argument text.
std::string_view TextAfterProgramName(std::string_view commandLine);

}  // namespace setup
