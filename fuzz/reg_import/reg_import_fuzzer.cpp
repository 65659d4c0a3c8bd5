// .reg import of any text: a file with any fault imports nothing; a file that imports
// exports again and imports once more.

#include "fuzz/fuzz_support.h"
#include "platform/registry/reg_file.h"
#include "platform/registry/registry.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_support::useTemporaryMachine();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  if (platform::registry::importFile(text, error)) {
    std::string exported;
    if (platform::registry::exportKey("HKEY_LOCAL_MACHINE\\SOFTWARE", exported, error))
      platform::registry::importFile(exported, error);
  }
  // Each input starts from the same registry.
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE");
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SYSTEM");
  return 0;
}
