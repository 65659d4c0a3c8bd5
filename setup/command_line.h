#pragma once
// hostprep's command line: four arguments A-D read from the raw text after the program's
// name. An argument ends at a space outside quotes (exactly one space is consumed, so two
// make an empty argument); a double quote is never copied and opens or closes a quoted
// stretch; in D a closing quote ends the argument. Each argument keeps at most 255
// characters; the text after D is ignored.

#include <string>
#include <string_view>

namespace setup {

constexpr std::size_t kMaxArgument = 255;

struct HostprepArguments {
  std::string a, b, c, d;
};

HostprepArguments ParseCommandLine(std::string_view raw);

// The raw text a Windows program would have been handed, rebuilt from words the shell has
// already split: joined by single spaces, a word with a space (or an empty one) in quotes.
std::string RawCommandLine(int argc, const char* const* argv);

}  // namespace setup
