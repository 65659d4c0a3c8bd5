#pragma once
// Where the settings live in the registry and what a new site key holds: the layout that
// the filter, the console and the setup helper share.

namespace settings {

constexpr const char* kGlobalKeyPath = "SOFTWARE\\Korvane\\Sablewing\\Value";
constexpr const char* kSitesKeyPath = "SOFTWARE\\Korvane\\Sablewing\\Value\\Sites";
constexpr const char* kBrowsersSubKey = "Browsers";

// Global values.
constexpr const char* kProgFilesValue = "ProgFiles";
constexpr const char* kVersionValue = "Version";

// The report resources below ProgFiles, and the per-site folders.
constexpr const char* kReportingFolder = "reporting";
constexpr const char* kReportFolderName = "tamsicreport";
constexpr const char* kImagesFolderName = "images";

// Defaults of a new site key. The folder defaults are formed with the site's root.
namespace defaults {
constexpr const char* kDisabled = "0";
constexpr const char* kCache = "1";
constexpr const char* kMinSize = "800";
constexpr const char* kMaxSize = "500000";
constexpr const char* kLimit = "0";
constexpr const char* kNoLimit = "0";
constexpr const char* kDynamicCache = "0";
constexpr const char* kCacheHeaders = "1";
constexpr const char* kRemoveCache = "1";
constexpr const char* kReport = "1";
constexpr const char* kEnableWhite = "0";
constexpr const char* kWsSwitch = "1";  // WsWhite, WsComment, WsLower, WsCss, WsCssCom
constexpr const char* kCacheFolderFormat = "%s\\gzipcache";
constexpr const char* kLogFolderFormat = "%s\\gziplog";
constexpr const char* kRefreshLog = "IIS Restart";
constexpr const char* kReportMask = "%H%O%C%P%M%L%Z%G%D%W";
constexpr const char* kNewExclude = "*.dll,*.exe";
}  // namespace defaults

// The loader's read buffers: scalars hold at most 511 characters; lists were written for
// 5120-byte buffers (longer ones are still read whole).
constexpr unsigned kScalarBufferBytes = 512;
constexpr unsigned kListBufferBytes = 5120;

}  // namespace settings
