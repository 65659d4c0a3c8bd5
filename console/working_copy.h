#pragma once
// The settings of the one site a Tamsic page edits, as the page and its dialogs hold them.
// Each member remembers whether it was loaded from the store or set by a dialog: Apply
// writes only those, so a value the key lacked is never stored back as 0 or "".

#include <cstdint>
#include <string>
#include <vector>

#include "settings/bounded_text.h"
#include "settings/site_settings.h"

namespace console {

template <typename T>
struct Known {
  T value{};
  bool known = false;
  // The value for a dialog to change: from then on it is the administrator's.
  T& edit() {
    known = true;
    return value;
  }
  void set(T v) {
    value = std::move(v);
    known = true;
  }
};

// Texts as the store holds them, whole: what the console did not edit goes back unchanged.
// The dialogs keep what they take within the limits below.
using Path = settings::WholeText;
using ExtensionName = settings::WholeText;

// What the console's dialogs take (the edit boxes accept up to 255 characters).
constexpr std::size_t kConsoleExtensionChars = 10;
constexpr std::size_t kConsoleMimeNameChars = 99;
constexpr std::size_t kConsoleBrowserTextChars = 254;

struct WorkingCopy {
  Known<std::int32_t> Disabled, CacheHeaders, MinSize, MaxSize, EnableWhite, WsWhite, WsComment, WsLower, WsCss,
      WsCssCom, RemoveCache, DynamicCache, Cache, Report, Limit, NoLimit;
  Known<Path> CacheFolder, LogFolder, RefreshLog, ReportMask;
  Known<std::vector<settings::ExtensionRule>> FileExtensions;
  Known<std::vector<ExtensionName>> CacheExt;
  Known<std::vector<Path>> NewExclude;
  Known<std::vector<settings::MimeRule>> MimeTypes;
  Known<std::vector<settings::BrowserRule>> Browsers;
  // Browser values the console cannot read: Apply leaves them in the store as they are.
  std::vector<std::string> UnreadBrowsers;
};

// The scalar members in the order the page reads and writes them, with their value names.
struct NumberField {
  const char* name;
  Known<std::int32_t> WorkingCopy::*member;
};
struct TextField {
  const char* name;
  Known<Path> WorkingCopy::*member;
};

inline constexpr NumberField kNumberFields[] = {
    {"Disabled", &WorkingCopy::Disabled},       {"CacheHeaders", &WorkingCopy::CacheHeaders},
    {"MinSize", &WorkingCopy::MinSize},         {"MaxSize", &WorkingCopy::MaxSize},
    {"EnableWhite", &WorkingCopy::EnableWhite}, {"WsWhite", &WorkingCopy::WsWhite},
    {"WsComment", &WorkingCopy::WsComment},     {"WsLower", &WorkingCopy::WsLower},
    {"WsCss", &WorkingCopy::WsCss},             {"WsCssCom", &WorkingCopy::WsCssCom},
    {"RemoveCache", &WorkingCopy::RemoveCache}, {"DynamicCache", &WorkingCopy::DynamicCache},
    {"Cache", &WorkingCopy::Cache},             {"Report", &WorkingCopy::Report},
    {"Limit", &WorkingCopy::Limit},             {"NoLimit", &WorkingCopy::NoLimit},
};
inline constexpr TextField kTextFields[] = {
    {"CacheFolder", &WorkingCopy::CacheFolder},
    {"LogFolder", &WorkingCopy::LogFolder},
    {"RefreshLog", &WorkingCopy::RefreshLog},
    {"ReportMask", &WorkingCopy::ReportMask},
};

}  // namespace console
