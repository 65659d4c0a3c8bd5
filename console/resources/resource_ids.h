#pragma once
// Resource and control identifiers of the console's dialogs, strings and icon.

namespace console::res {

// Strings.
constexpr int kClassDescription = 3;  // "Tamsic Uitlity"
constexpr int kSnapInName = 6;        // "Korvane Tamsic Uitlity"
constexpr int kPageTitle = 12;        // "Tamsic"

constexpr int kPageIcon = 153;

// Dialogs.
constexpr int kMainPage = 13;
constexpr int kAdvancedDialog = 101;
constexpr int kMimeListDialog = 102;
constexpr int kBrowserListDialog = 103;
constexpr int kMimeTypeDialog = 104;
constexpr int kBrowserDialog = 105;
constexpr int kExtensionListDialog = 106;
constexpr int kExtensionDialog = 107;
constexpr int kSizeDialog = 108;
constexpr int kCachingDialog = 109;
constexpr int kCachedExtensionDialog = 110;
constexpr int kReportingDialog = 111;
constexpr int kExclusionDialog = 112;
constexpr int kExclusionAddDialog = 113;
constexpr int kOptionalDialog = 114;
constexpr int kApplyingNotice = 115;

// Main page.
constexpr int kEnableRadio = 1016;
constexpr int kDisableRadio = 1078;
constexpr int kCacheButton = 1051;
constexpr int kReportingButton = 1052;
constexpr int kOptCompressButton = 1053;
constexpr int kExcludeButton = 1041;
constexpr int kAdvancedButton = 1004;
constexpr int kHelpButton = 1015;
constexpr int kFirstGroupControl = 2000;  // group boxes and their texts: 2000 up to kLastGroupControl
constexpr int kLastGroupControl = 2029;
constexpr int kServiceNodeNotice = 2030;

// Advanced dialog.
constexpr int kMimeTypesButton = 1101;
constexpr int kBrowsersButton = 1102;
constexpr int kFileExtensionsButton = 1103;
constexpr int kSizeLimitsButton = 1104;

// The rule trees ("MIME Type List", "Browser Definitions").
constexpr int kRuleTree = 1110;
constexpr int kAddButton = 1111;
constexpr int kRemoveButton = 1112;
constexpr int kEditButton = 1113;
constexpr int kRestoreButton = 1114;

// "Add MIME Type".
constexpr int kMimeNameEdit = 1120;
constexpr int kCompressCheck = 1121;
constexpr int kLevelSlider = 1122;

// "Add Browser".
constexpr int kBrowserNameEdit = 1130;
constexpr int kSearchTextEdit = 1131;

// "File Extension List" and "Add File Extension".
constexpr int kExtensionList = 1140;
constexpr int kExtensionAdd = 1141;
constexpr int kExtensionRemove = 1142;
constexpr int kExtensionEdit = 1143;
constexpr int kExtensionNameEdit = 1150;
constexpr int kExtensionSlider = 1151;

// "File Size Limits".
constexpr int kMinSizeEdit = 1160;
constexpr int kMaxSizeEdit = 1161;

// "Tamsic Caching Preferences".
constexpr int kCacheEnableRadio = 1170;
constexpr int kCacheDisableRadio = 1171;
constexpr int kCacheFolderEdit = 1172;
constexpr int kRemoveCacheCheck = 1173;
constexpr int kDynamicCacheCheck = 1174;
constexpr int kLimitCheck = 1175;
constexpr int kLimitEdit = 1176;
constexpr int kLimitLabel = 1177;
constexpr int kFollowHeadersRadio = 1178;
constexpr int kIgnoreHeadersRadio = 1179;
constexpr int kClearCacheButton = 1180;
constexpr int kCachedFilesButton = 1181;

// "Tamsic Reporting Preferences".
constexpr int kReportEnableRadio = 1190;
constexpr int kReportDisableRadio = 1191;
constexpr int kLogFolderEdit = 1192;
constexpr int kRefreshList = 1193;
constexpr int kExcludedFieldsList = 1194;
constexpr int kReportedFieldsList = 1195;
constexpr int kMoveToReportButton = 1196;
constexpr int kMoveToExcludeButton = 1197;

// "Tamsic Exclusion List" and its add dialog.
constexpr int kExclusionList = 1200;
constexpr int kAddFileButton = 1201;
constexpr int kAddDirectoryButton = 1202;
constexpr int kExclusionRemove = 1203;
constexpr int kExclusionLabel = 1210;
constexpr int kExclusionEdit = 1211;
constexpr int kBrowseButton = 1212;

// "Tamsic Optional Compression Preferences".
constexpr int kOptionalEnableRadio = 1220;
constexpr int kOptionalDisableRadio = 1221;
constexpr int kWsWhiteCheck = 1222;
constexpr int kWsCommentCheck = 1223;
constexpr int kWsLowerCheck = 1224;
constexpr int kWsCssCheck = 1225;
constexpr int kWsCssComCheck = 1226;

}  // namespace console::res
