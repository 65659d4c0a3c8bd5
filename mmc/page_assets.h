#pragma once
// The console page's files, built into the program from mmc/page.

#include <string_view>

namespace mmc::assets {

extern const std::string_view kConsoleHtml;
extern const std::string_view kConsoleJs;
extern const std::string_view kConsoleCss;

}  // namespace mmc::assets
