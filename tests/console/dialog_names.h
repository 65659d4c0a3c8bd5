#pragma once
// The captions of the console's dialogs and the ids of the controls the tests drive, as
// the dialog templates give them.

namespace console_tests {

inline constexpr const char* kAdvanced = "Tamsic Advanced Configuration Preferences";
inline constexpr const char* kMimeList = "MIME Type List";
inline constexpr const char* kBrowserList = "Browser Definitions";
inline constexpr const char* kExtensionList = "File Extension List";
inline constexpr const char* kCaching = "Tamsic Caching Preferences";
inline constexpr const char* kReporting = "Tamsic Reporting Preferences";
inline constexpr const char* kExclusion = "Tamsic Exclusion List";
inline constexpr const char* kOptional = "Tamsic Optional Compression Preferences";
inline constexpr const char* kSizes = "File Size Limits";

inline constexpr int kTree = 1110, kAdd = 1111, kMimeName = 1120, kCompress = 1121, kLevel = 1122;
inline constexpr int kBrowserName = 1130, kSearchText = 1131, kExtensions = 1140, kExtensionName = 1150,
                     kExtensionLevel = 1151;
inline constexpr int kMinSize = 1160, kMaxSize = 1161, kCacheFolder = 1172, kLimitCheck = 1175, kLimit = 1176;
inline constexpr int kExclusions = 1200, kExclusionText = 1211;

}  // namespace console_tests
