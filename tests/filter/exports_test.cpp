// squashfilter.so as a host loads it: three exports and nothing else, and a working
// GetFilterVersion / TerminateFilter pair.

#include <dlfcn.h>

#include <cstdio>

#include "platform/isapi/httpfilt.h"
#include "platform/registry/registry.h"
#include "platform/registry/unique_key.h"
#include "tests/support/machine_fixture.h"

namespace {

class ExportsTest : public testing_support::MachineTest {};

TEST_F(ExportsTest, TheLibraryShowsOnlyTheThreeFilterEntryPoints) {
  FILE* nm = popen("nm -D --defined-only " SQUASHFILTER_PATH " | awk '{print $3}' | sort", "r");
  ASSERT_NE(nm, nullptr);
  std::string symbols;
  char line[256];
  while (fgets(line, sizeof(line), nm)) symbols += line;
  pclose(nm);
  EXPECT_EQ(symbols, "GetFilterVersion\nHttpFilterProc\nTerminateFilter\n");
}

TEST_F(ExportsTest, AHostCanLoadAndStartTheFilter) {
  installProduct();
  void* library = dlopen(SQUASHFILTER_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  auto version = reinterpret_cast<GetFilterVersionFn>(dlsym(library, "GetFilterVersion"));
  auto terminate = reinterpret_cast<TerminateFilterFn>(dlsym(library, "TerminateFilter"));
  ASSERT_TRUE(version && terminate && dlsym(library, "HttpFilterProc"));
  HTTP_FILTER_VERSION v{};
  EXPECT_TRUE(version(&v));
  EXPECT_EQ(v.dwFilterVersion, HTTP_FILTER_REVISION);
  EXPECT_TRUE(terminate(0));
  dlclose(library);
}

}  // namespace
