// The optimizer over real files, for the comparison with another minifier: reads every
// file named on the command line (HTML, or CSS by its extension), optimises each once in
// this process, and prints bytes in, bytes out (the original where the optimizer gave
// nothing shorter) and the time spent optimising, as one line of JSON.
//   optimize_corpus FILE...

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "optimizer/optimizer_driver.h"

int main(int argc, char** argv) {
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 1; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    files.emplace_back(argv[i], text.str());
  }
  std::size_t bytesIn = 0;
  std::size_t bytesOut = 0;
  std::chrono::nanoseconds spent{0};
  for (const auto& [name, body] : files) {
    const bool css = name.size() > 4 && name.compare(name.size() - 4, 4, ".css") == 0;
    // A folder of its own, so that no style sheet is found and learnt from.
    const char* path = css ? "C:\\corpus\\sheet.css" : "C:\\corpus\\page.htm";
    const auto start = std::chrono::steady_clock::now();
    const auto out = optimizer::OptimizeBody(body, path, "C:\\corpus", optimizer::Switches{});
    spent += std::chrono::steady_clock::now() - start;
    bytesIn += body.size();
    bytesOut += out ? out->size() : body.size();
  }
  std::printf("{\"files\": %zu, \"bytes_in\": %zu, \"bytes_out\": %zu, \"seconds\": %.6f}\n", files.size(), bytesIn,
              bytesOut, std::chrono::duration<double>(spent).count());
  return 0;
}
