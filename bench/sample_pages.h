#pragma once
// Deterministic HTML and CSS of a given size for the benchmarks: indented markup with
// tables, paragraphs, a pre block and comments, like a hand-written documentation page.

#include <cstddef>
#include <random>
#include <string>

namespace bench {

inline std::string samplePage(std::size_t bytes, unsigned seed = 1) {
  static const char* kWords[] = {"river", "gauge",   "flow", "bank",  "ford",  "depth",     "morning",
                                 "flag",  "station", "the",  "of",    "and",   "measured", "between"};
  std::mt19937 random(seed);
  auto word = [&] { return std::string(kWords[random() % 14]); };
  std::string page = "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\">\n<HTML>\n<HEAD>\n  <TITLE>Report</TITLE>\n"
                     "  <STYLE type=\"text/css\">\n    BODY  { margin : 0 ;  font-family : serif }\n  </STYLE>\n</HEAD>\n<BODY>\n";
  while (page.size() < bytes) {
    switch (random() % 4) {
      case 0: {
        page += "  <P class=para>\n   ";
        for (int i = 0, n = 10 + random() % 30; i < n; ++i) page += word() + (i % 7 == 6 ? "\n    " : "  ");
        page += "\n  </P>\n";
        break;
      }
      case 1: {
        page += "  <TABLE border=1 cellpadding=2>\n";
        for (int r = 0; r < 4; ++r) page += "    <TR>  <TD align=right>" + std::to_string(random() % 1000) + "</TD>  <TD>" + word() + "</TD>  </TR>\n";
        page += "  </TABLE>\n";
        break;
      }
      case 2:
        page += "  <!-- section " + word() + " -->\n";
        break;
      default:
        page += "  <PRE>\n   depth   flow\n    1.2     " + std::to_string(random() % 90) + "\n  </PRE>\n";
    }
  }
  return page + "</BODY>\n</HTML>\n";
}

inline std::string sampleCss(std::size_t bytes, unsigned seed = 1) {
  std::mt19937 random(seed);
  std::string css = "/* generated style sheet */\n";
  while (css.size() < bytes) {
    css += ".rule" + std::to_string(random() % 5000) + " ,  H" + std::to_string(1 + random() % 6) + "   {\n";
    css += "    color : #" + std::to_string(100 + random() % 800) + " ;\n    margin :  " + std::to_string(random() % 20) +
           "px   auto ;   /* spacing */\n  }\n\n";
  }
  return css;
}

}  // namespace bench
