#pragma once
// The filter's place in the web service's load order (/LM/W3SVC/Filters, MD_FILTER_LOAD_ORDER)
// and its key there, through MetabaseSession. Names are comma-separated, in the ANSI code page.

#include <array>
#include <string>
#include <string_view>

namespace setup {

// Highest precedence first; known names are placed in this order, before all others.
constexpr std::array<const char*, 8> FilterPrecedenceList = {"sspifilt", "Compression", "Tamsic", "Lumtor",
                                                             "Brastel",  "Quenlow",     "Orbisk", "Felgrin"};
// The description that asks for a dry run: the ordering is appended to "c:\output.dat".
constexpr const char* kDryRunDescription = "DONT ADD THIS FILTER";
constexpr const char* kDryRunOutput = "c:\\output.dat";

std::string OrderFilterList(std::string_view list);
// The name is taken as the server reads the load order, without the blanks around it, and
// names the filter's key too. False when the key cannot be created or written, and for a
// name the list or the metabase would split ("a,b", "a/b"): nothing is written then.
// Whether RegisterFilter and UnregisterFilter take the name: asked before the web service
// is stopped for them.
bool AcceptsFilterName(const std::string& name);
bool RegisterFilter(const std::string& name, const std::string& dllPath, const std::string& description);
// A missing list or key is passed over; false for a name RegisterFilter refuses, or when
// another installer holds the load order for longer than 30 s.
bool UnregisterFilter(const std::string& name);

}  // namespace setup
