// hostprep's command line: any raw text parses into four arguments without quotes, each of
// at most 255 characters unless the line is marked as holding a longer one; words without
// quotes come back whole through the rebuilt raw text, marked when one is too long.

#include <cstdlib>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/text/wide_text.h"
#include "setup/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view raw(reinterpret_cast<const char*>(data), size);
  const setup::HostprepArguments args = setup::ParseCommandLine(raw);
  const auto tooLong = [](const std::string& text) { return platform::text::widen(text).size() > setup::kMaxArgument; };
  for (const std::string* arg : {&args.a, &args.b, &args.c, &args.d})
    if ((!args.overlong && tooLong(*arg)) || arg->find('"') != std::string::npos) std::abort();

  fuzz_support::Input input(data, size);
  std::vector<std::string> words = {"hostprep"};
  while (words.size() < 5 && !input.rest().empty()) {
    std::string word(input.until('\t'));
    std::erase(word, '"');
    std::erase(word, '\0');
    words.push_back(word);
  }
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  const setup::HostprepArguments back =
      setup::ParseCommandLine(setup::RawCommandLine(static_cast<int>(argv.size()), argv.data()));
  const std::string* got[] = {&back.a, &back.b, &back.c, &back.d};
  bool anyTooLong = false;
  for (std::size_t i = 1; i < words.size(); ++i) {
    if (*got[i - 1] != words[i]) std::abort();
    anyTooLong = anyTooLong || tooLong(words[i]);
  }
  if (back.overlong != anyTooLong) std::abort();
  return 0;
}
