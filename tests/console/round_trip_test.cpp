// What the administrator stores is what the filter uses: generated site settings entered
// through the console's own dialogs and Apply, or imported with a .reg file, read back by
// the filter's loader and by a reopened sheet; an Apply without edits writes nothing
// different.

#include <strings.h>

#include <algorithm>
#include <map>

#include "platform/registry/reg_file.h"
#include "settings/rule_lists.h"
#include "settings/settings_loader.h"
#include "tests/console/console_fixture.h"
#include "tests/console/dialog_names.h"

namespace console_tests {
namespace {

using namespace std::string_literals;


// A site's settings as the dialogs take them, generated to cover every shape they can make.
struct Generated {
  std::vector<settings::MimeRule> mime;
  std::vector<settings::BrowserRule> browsers;
  std::vector<settings::ExtensionRule> extensions;
  std::vector<std::string> cached;
  std::vector<std::string> exclusions;
  std::string cacheFolder;
};

settings::MimeRule rule(const std::string& name, int compress, int level, std::vector<settings::MimeRule> subs = {}) {
  settings::MimeRule r;
  r.Name = name;
  r.Compress = compress;
  r.Level = level;
  r.SubTypes = std::move(subs);
  return r;
}

settings::BrowserRule browser(const std::string& name, const std::string& term, std::vector<settings::MimeRule> rules) {
  settings::BrowserRule b;
  b.DisplayName = name;
  b.SearchTerm = term;
  b.MimeRules = std::move(rules);
  return b;
}

Generated generate() {
  Generated g;
  // MIME types: many, with sub-types, one name at the 99-character limit, non-ASCII text.
  g.mime.push_back(rule("text", 1, 9, {rule("css", 0, 1), rule("html", 1, 9)}));
  for (int i = 0; i < 10; ++i) {
    std::vector<settings::MimeRule> subs;
    for (int s = 0; s < i % 4; ++s) subs.push_back(rule("sub" + std::to_string(i) + "-" + std::to_string(s), s % 2, 1 + (i + s) % 9));
    g.mime.push_back(rule("type" + std::to_string(i), i % 2, 1 + i % 9, std::move(subs)));
  }
  g.mime.push_back(rule(std::string(99, 'm'), 1, 5, {rule(std::string(99, 's'), 0, 2)}));
  g.mime.push_back(rule("vidéo", 1, 4, {rule("über", 1, 8)}));

  // Browsers: without MIME types (the name is then the search text), with one or several
  // types, names and search texts at their 254-character limit, non-ASCII text, a comma in
  // the display name (a value name may hold one).
  g.browsers.push_back(browser("Lynx", "Lynx", {}));
  g.browsers.push_back(browser("Internet Explorer 5.0", "MSIE 5.", {rule("text", 1, 9, {rule("css", 0, 1)})}));
  g.browsers.push_back(browser(std::string(254, 'B'), std::string(254, 'u'),
                               {rule("text", 0, 3, {rule("plain", 1, 9), rule("xml", 1, 7)}),
                                rule("application", 0, 1, {rule("msword", 0, 1)}),
                                rule("image", 1, 6)}));
  g.browsers.push_back(browser("Navigateur café", "Café/1.0!Bötchen", {rule("vidéo", 0, 2)}));
  g.browsers.push_back(browser("Shop, Inc. Robot", "ShopBot", {}));

  // File extensions at the 10-character limit, every level.
  for (int i = 0; i < 18; ++i) {
    settings::ExtensionRule e;
    e.Name = ".e" + std::to_string(i);
    e.Level = 1 + i % 9;
    g.extensions.push_back(e);
  }
  g.extensions.push_back({".abcdefghi", 3});

  g.cached = {".css", ".htm", ".html", ".shtml", ".txt", ".abcdefghi"};
  // Exclusions: a long list (more than 5120 bytes), entries at 250 characters, a ';', text
  // that is not ASCII.
  for (int i = 0; i < 24; ++i) g.exclusions.push_back("C:/Inetpub/shop/" + std::to_string(100 + i) + std::string(230, 'x'));
  g.exclusions.push_back("*.zip");
  g.exclusions.push_back("C:/web;root/a.htm");
  g.exclusions.push_back("C:/Inetpub/shop/privé\\*");
  g.cacheFolder = "C:\\Inetpub\\shop\\caché";
  return g;
}

// Every value of a key and of its sub-key "Browsers": name, type and data.
using Snapshot = std::vector<std::string>;
void snapshotKey(const std::string& path, Snapshot& out) {
  UniqueKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
  for (DWORD i = 0;; ++i) {
    std::string name(kMaxRegValueNameChars + 1, '\0');
    DWORD chars = static_cast<DWORD>(name.size());
    DWORD type = 0, size = 0;
    if (RegEnumValueA(key.get(), i, name.data(), &chars, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    name.resize(chars);
    std::string data(size, '\0');
    RegQueryValueExA(key.get(), name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size);
    out.push_back(path + "|" + name + "|" + std::to_string(type) + "|" + data);
  }
}

// The loader's rules, as one text each, so that a difference shows where it is.
std::string describe(const std::vector<settings::MimeRule>& rules) { return settings::formatMimeTypes(rules); }
std::vector<std::string> describe(const std::vector<settings::BrowserRule>& browsers) {
  std::vector<std::string> out;
  for (const auto& b : browsers) out.push_back(b.DisplayName.str() + "=" + settings::formatBrowserValue(b));
  return out;
}
std::vector<std::string> names(const std::vector<settings::ExtensionRule>& rules, bool withLevel) {
  std::vector<std::string> out;
  for (const auto& r : rules) out.push_back(r.Name.str() + (withLevel ? "=" + std::to_string(r.Level) : ""));
  return out;
}

// What a list box with LBS_SORT shows: without regard to case, as the dialogs' lists sort.
std::vector<std::string> sortedAsListBox(std::vector<std::string> items) {
  std::stable_sort(items.begin(), items.end(), [](const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
  });
  return items;
}

class RoundTripTest : public ConsoleTest {
 protected:
  std::string sheet;

  // The loader's record of a site, from a fresh load.
  std::unique_ptr<settings::SiteSettings> load(int site) {
    settings::LoadedSettings loaded;
    EXPECT_TRUE(settings::LoadSettings(loaded));
    if (!loaded.table) return nullptr;
    for (auto& slot : loaded.table->Slots)
      if (slot && slot->InstancePath == "/LM/W3SVC/" + std::to_string(site)) {
        auto copy = std::make_unique<settings::SiteSettings>();
        copy->MinSize = slot->MinSize;
        copy->MaxSize = slot->MaxSize;
        copy->Limit = slot->Limit;
        copy->CacheFolder = slot->CacheFolder;
        copy->CacheExt = slot->CacheExt;
        copy->FileExtensions = slot->FileExtensions;
        copy->NewExclude = slot->NewExclude;
        copy->MimeTypes = slot->MimeTypes;
        copy->Browsers = slot->Browsers;
        return copy;
      }
    ADD_FAILURE() << "site " << site << " was not loaded";
    return nullptr;
  }

  static Snapshot snapshot(int site) {
    Snapshot out;
    snapshotKey(siteKey(site), out);
    snapshotKey(siteKey(site) + "\\Browsers", out);
    return out;
  }

  // Answers a message box the last step raised, if any; true when there was one.
  bool answerMessage(const char* button = "OK") {
    if (!driver().isOpen("Tamsic")) return false;
    driver().click("Tamsic", button);
    return true;
  }

  std::vector<std::string> tree(const char* editor) {
    std::vector<std::string> texts;
    for (const auto& item : driver().control(editor, kTree).tree) texts.push_back(std::string(item.depth * 2, ' ') + item.text);
    return texts;
  }
  std::vector<std::string> entries(const char* dialog, int id) {
    std::vector<std::string> out;
    for (const auto& item : driver().control(dialog, id).items) out.push_back(item.text);
    return out;
  }

  void typeRule(const std::string& caption, const settings::MimeRule& r) {
    driver().type(caption, kMimeName, r.Name.str());
    if (r.Compress != 0) driver().click(caption, kCompress);
    driver().setSlider(caption, kLevel, r.Level);
    driver().click(caption, "OK");
    answerMessage();  // a precedence question: yes
  }

  void enterMime(const std::vector<settings::MimeRule>& rules) {
    driver().click(sheet, "Advanced");
    driver().click(kAdvanced, "MIME Types");
    for (const auto& r : rules) {
      driver().selectTreeItem(kMimeList, kTree, "MIME Types");
      driver().click(kMimeList, kAdd);
      typeRule("Add top-level MIME type", r);
      for (const auto& sub : r.SubTypes) {
        driver().selectTreeItem(kMimeList, kTree, "MIME Types/" + r.Name.str());
        driver().click(kMimeList, kAdd);
        typeRule("Add MIME sub-type", sub);
      }
    }
    driver().click(kMimeList, "OK");
    driver().click(kAdvanced, "OK");
  }

  void enterBrowsers(const std::vector<settings::BrowserRule>& browsers) {
    driver().click(sheet, "Advanced");
    driver().click(kAdvanced, "Browsers");
    // An empty list opens with the console's built-in browsers: they go first.
    for (const auto& item : driver().control(kBrowserList, kTree).tree) {
      if (item.depth != 1) continue;
      driver().selectTreeItem(kBrowserList, kTree, "Browsers/" + item.text);
      driver().click(kBrowserList, "Remove");
    }
    for (const auto& b : browsers) {
      const std::string name = b.DisplayName.str();
      driver().selectTreeItem(kBrowserList, kTree, "Browsers");
      driver().click(kBrowserList, kAdd);
      driver().type("Add Browser", kBrowserName, name);
      if (b.SearchTerm.str() != name) driver().type("Add Browser", kSearchText, b.SearchTerm.str());
      driver().click("Add Browser", "OK");
      for (const auto& r : b.MimeRules) {
        driver().selectTreeItem(kBrowserList, kTree, "Browsers/" + name);
        driver().click(kBrowserList, kAdd);
        typeRule("Add top-level MIME type for " + name, r);
        for (const auto& sub : r.SubTypes) {
          driver().selectTreeItem(kBrowserList, kTree, "Browsers/" + name + "/" + r.Name.str());
          driver().click(kBrowserList, kAdd);
          typeRule("Add MIME sub-type for " + name, sub);
        }
      }
    }
    driver().click(kBrowserList, "OK");
    driver().click(kAdvanced, "OK");
  }

  void replaceExtensions(const std::vector<std::string>& texts, const std::vector<int>& levels) {
    for (const std::string& shown : entries(kExtensionList, kExtensions)) {
      driver().select(kExtensionList, kExtensions, shown);
      driver().click(kExtensionList, "Remove");
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
      driver().click(kExtensionList, "Add");
      driver().type("Add File Extension", kExtensionName, texts[i]);
      if (!levels.empty()) driver().setSlider("Add File Extension", kExtensionLevel, levels[i]);
      driver().click("Add File Extension", "OK");
    }
    driver().click(kExtensionList, "OK");
  }

  void enterEverything(const Generated& g) {
    enterMime(g.mime);
    enterBrowsers(g.browsers);

    driver().click(sheet, "Advanced");
    driver().click(kAdvanced, "File Extensions");
    std::vector<std::string> texts;
    std::vector<int> levels;
    for (const auto& e : g.extensions) {
      texts.push_back(e.Name.str().substr(1));  // typed without the dot: the dialog adds it
      levels.push_back(e.Level);
    }
    replaceExtensions(texts, levels);
    // Numbers past 32 bits are refused with a reason, and the dialog stays open.
    driver().click(kAdvanced, "Size Limits");
    driver().type(kSizes, kMinSize, "3000000000");
    driver().type(kSizes, kMaxSize, "2147483647");
    driver().click(kSizes, "OK");
    EXPECT_TRUE(answerMessage());
    driver().type(kSizes, kMinSize, "0");
    driver().click(kSizes, "OK");
    EXPECT_FALSE(driver().isOpen(kSizes));
    driver().click(kAdvanced, "OK");

    driver().click(sheet, "Cache");
    driver().type(kCaching, kCacheFolder, g.cacheFolder);
    if (driver().control(kCaching, kLimitCheck).check == 0) driver().click(kCaching, kLimitCheck);
    driver().type(kCaching, kLimit, "4294967296");
    driver().click(kCaching, "OK");
    EXPECT_TRUE(answerMessage());
    driver().type(kCaching, kLimit, "2147483647");
    driver().click(kCaching, "Cached Files");
    replaceExtensions(g.cached, {});
    driver().click(kCaching, "OK");
    EXPECT_FALSE(driver().isOpen(kCaching));

    driver().click(sheet, "Exclude");
    for (const std::string& entry : g.exclusions) {
      driver().click(kExclusion, "Add File");
      driver().type("Add File to Exclude", kExclusionText, entry);
      driver().click("Add File to Exclude", "OK");
    }
    driver().click(kExclusion, "OK");
  }

  // Opens every dialog of the sheet and leaves it with OK, changing nothing.
  void passThroughEveryDialog() {
    driver().click(sheet, "Cache");
    driver().click(kCaching, "Cached Files");
    driver().click(kExtensionList, "OK");
    driver().click(kCaching, "OK");
    driver().click(sheet, "Reporting");
    driver().click("Tamsic Reporting Preferences", "OK");
    driver().click(sheet, "Opt. Compress");
    driver().click("Tamsic Optional Compression Preferences", "OK");
    driver().click(sheet, "Exclude");
    driver().click(kExclusion, "OK");
    driver().click(sheet, "Advanced");
    for (const char* editor : {"MIME Types", "Browsers", "File Extensions", "Size Limits"}) {
      driver().click(kAdvanced, editor);
      const char* caption = std::string(editor) == "MIME Types" ? kMimeList
                            : std::string(editor) == "Browsers" ? kBrowserList
                            : std::string(editor) == "File Extensions" ? kExtensionList
                                                                      : kSizes;
      driver().click(caption, "OK");
    }
    driver().click(kAdvanced, "OK");
  }
};

TEST_F(RoundTripTest, WhatTheDialogsStoreIsWhatTheLoaderAndAReopenedSheetRead) {
  const Generated g = generate();
  createSiteKey(1, "Shop");
  sheet = openSheet(1, "Shop");
  enterEverything(g);
  driver().click(sheet, "Apply");

  // The loader's rules are what was entered (and what the dialogs showed).
  auto loaded = load(1);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(describe(loaded->MimeTypes), describe(g.mime));
  EXPECT_EQ(describe(loaded->Browsers), describe(g.browsers));
  // The extension lists keep the order of entry; the exclusion list stores what its sorted
  // list box shows.
  EXPECT_EQ(names(loaded->FileExtensions, true), names(g.extensions, true));
  EXPECT_EQ(names(loaded->CacheExt, false), g.cached);
  std::vector<std::string> patterns;
  for (const auto& e : loaded->NewExclude) patterns.push_back(e.Pattern.str());
  EXPECT_EQ(patterns, sortedAsListBox(g.exclusions));
  EXPECT_EQ(loaded->MinSize, 0);
  EXPECT_EQ(loaded->MaxSize, 2147483647);
  EXPECT_EQ(loaded->Limit, 2147483647u);
  EXPECT_EQ(loaded->CacheFolder.str(), g.cacheFolder);
  const Snapshot applied = snapshot(1);
  driver().click(sheet, "OK");

  // A reopened sheet shows the same, and Apply without edits writes nothing different, even
  // after every dialog was opened and left with OK.
  sheet = openSheet(1, "Shop");
  driver().click(sheet, "Advanced");
  driver().click(kAdvanced, "MIME Types");
  std::vector<std::string> mimeTree{"MIME Types"};
  for (const auto& r : g.mime) {
    mimeTree.push_back("  " + r.Name.str());
    for (const auto& s : r.SubTypes) mimeTree.push_back("    " + s.Name.str());
  }
  EXPECT_EQ(tree(kMimeList), mimeTree);
  driver().click(kMimeList, "Cancel");
  driver().click(kAdvanced, "Browsers");
  std::vector<std::string> browserTree{"Browsers"};
  for (const auto& b : g.browsers) {
    browserTree.push_back("  " + b.DisplayName.str());
    for (const auto& r : b.MimeRules) {
      browserTree.push_back("    " + r.Name.str());
      for (const auto& s : r.SubTypes) browserTree.push_back("      " + s.Name.str());
    }
  }
  EXPECT_EQ(tree(kBrowserList), browserTree);
  driver().selectTreeItem(kBrowserList, kTree, "Browsers/" + g.browsers[2].DisplayName.str());
  driver().click(kBrowserList, "Edit");
  EXPECT_EQ(driver().control("Edit Browser", kSearchText).text, g.browsers[2].SearchTerm.str());
  driver().click("Edit Browser", "OK");
  driver().click(kBrowserList, "OK");
  driver().click(kAdvanced, "Size Limits");
  EXPECT_EQ(driver().control(kSizes, kMaxSize).text, "2147483647");
  driver().click(kSizes, "Cancel");
  driver().click(kAdvanced, "OK");
  driver().click(sheet, "Exclude");
  EXPECT_EQ(entries(kExclusion, kExclusions), patterns);
  driver().click(kExclusion, "Cancel");
  passThroughEveryDialog();
  driver().click(sheet, "Apply");
  EXPECT_EQ(snapshot(1), applied);
  driver().click(sheet, "OK");
  EXPECT_EQ(snapshot(1), applied);

  // A renamed browser keeps its place: the first that matches is the one the filter applies.
  sheet = openSheet(1, "Shop");
  driver().click(sheet, "Advanced");
  driver().click(kAdvanced, "Browsers");
  driver().selectTreeItem(kBrowserList, kTree, "Browsers/" + g.browsers[0].DisplayName.str());
  driver().click(kBrowserList, "Edit");
  driver().type("Edit Browser", kBrowserName, "Renamed first");
  driver().click("Edit Browser", "OK");
  driver().click(kBrowserList, "OK");
  driver().click(kAdvanced, "OK");
  driver().click(sheet, "Apply");
  std::vector<settings::BrowserRule> renamed = g.browsers;
  renamed[0].DisplayName = "Renamed first";
  EXPECT_EQ(describe(load(1)->Browsers), describe(renamed));
  driver().click(sheet, "OK");
}

TEST_F(RoundTripTest, WhatTheDialogsCannotStoreIsRefusedWithItsReason) {
  createSiteKey(1, "Shop");
  sheet = openSheet(1, "Shop");
  // A comma would split the item in the stored list (fault 4).
  driver().click(sheet, "Advanced");
  driver().click(kAdvanced, "Browsers");
  driver().selectTreeItem(kBrowserList, kTree, "Browsers");
  driver().click(kBrowserList, kAdd);
  driver().type("Add Browser", kBrowserName, "Bot");
  driver().type("Add Browser", kSearchText, "Bot/1,Crawler");
  driver().click("Add Browser", "OK");
  EXPECT_NE(driver().window("Tamsic").controls.size(), 0u);
  ASSERT_TRUE(answerMessage());
  EXPECT_TRUE(driver().isOpen("Add Browser"));
  driver().click("Add Browser", "Cancel");
  driver().selectTreeItem(kBrowserList, kTree, "Browsers/Opera 5");
  driver().click(kBrowserList, kAdd);
  driver().type("Add top-level MIME type for Opera 5", kMimeName, "text,plain");
  driver().click("Add top-level MIME type for Opera 5", "OK");
  ASSERT_TRUE(answerMessage());
  driver().click("Add top-level MIME type for Opera 5", "Cancel");
  driver().click(kBrowserList, "OK");
  driver().click(kAdvanced, "File Extensions");
  driver().click(kExtensionList, "Add");
  driver().type("Add File Extension", kExtensionName, ".a,b");
  driver().click("Add File Extension", "OK");
  ASSERT_TRUE(answerMessage());
  driver().click("Add File Extension", "Cancel");
  driver().click(kExtensionList, "OK");
  driver().click(kAdvanced, "OK");
  driver().click(sheet, "Apply");
  for (const std::string& value : valueNames(siteKey(1) + "\\Browsers"))
    EXPECT_TRUE(settings::parseBrowserValue(value, *readValue(siteKey(1) + "\\Browsers", value.c_str()))) << value;
  EXPECT_EQ(siteValue(1, "FileExtensions")->find(",b"), std::string::npos);
}

// A store written with `reg import` keeps, through the console, what the console does not
// edit: texts longer than the dialogs take, a browser the console cannot read, numbers past
// 32 bits (read clamped by every reader), a number stored as a DWORD (read as its value).
TEST_F(RoundTripTest, AnImportedStoreGoesThroughTheConsoleUnchanged) {
  const std::string longEntry = "C:/Inetpub/two/" + std::string(300, 'e');
  const std::string longTerm = std::string(300, 't');
  const std::string longFolder = "C:\\Inetpub\\two\\" + std::string(300, 'f');
  // A multi-string as the registry editor writes it: UTF-16LE bytes (the texts are ASCII).
  auto hex7 = [](const std::string& data) {
    std::string out = "hex(7):";
    char byte[8];
    for (std::size_t i = 0; i < data.size(); ++i) {
      std::snprintf(byte, sizeof(byte), "%02x,00", static_cast<unsigned char>(data[i]));
      out += (i ? "," : "") + std::string(byte);
    }
    return out;
  };
  const std::string key = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\2]\r\n";
  std::string reg = "Windows Registry Editor Version 5.00\r\n\r\n" + key;
  for (const char* flag : {"Disabled", "DynamicCache", "NoLimit", "EnableWhite"}) reg += "\"" + std::string(flag) + "\"=\"0\"\r\n";
  for (const char* flag : {"Cache", "RemoveCache", "CacheHeaders", "Report", "WsWhite", "WsComment", "WsLower", "WsCss", "WsCssCom"})
    reg += "\"" + std::string(flag) + "\"=\"1\"\r\n";
  reg += "\"MinSize\"=dword:00000321\r\n\"MaxSize\"=\"3000000000\"\r\n\"Limit\"=\"4294967296\"\r\n";
  reg += "\"CacheFolder\"=\"";
  for (char c : longFolder) reg += c == '\\' ? std::string("\\\\") : std::string(1, c);
  reg += "\"\r\n\"LogFolder\"=\"C:\\\\Inetpub\\\\two\\\\gziplog\"\r\n\"RefreshLog\"=\"IIS Restart\"\r\n";
  reg += "\"ReportMask\"=\"%H%O%C\"\r\n\"CacheExt\"=\".htm,.verylongext\"\r\n";
  reg += "\"FileExtensions\"=\".htm,9,.verylongextension,5\"\r\n";
  reg += "\"NewExclude\"=\"*.zip," + longEntry + "\"\r\n";
  reg += "\"MimeTypes\"=" + hex7("text,1,9,css,0,0\0"s + std::string(120, 'm') + ",1,5\0\0"s) + "\r\n\r\n";
  reg += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\2\\Browsers]\r\n";
  reg += "\"Lynx\"=" + hex7("Lynx\0\0"s) + "\r\n";
  reg += "\"Long\"=" + hex7(longTerm + ",text,0,0,html,1,9\0\0"s) + "\r\n";
  std::string error;
  ASSERT_TRUE(platform::registry::importFile(reg, error)) << error;
  const Snapshot imported = snapshot(2);

  auto before = load(2);
  ASSERT_TRUE(before);
  ASSERT_EQ(before->Browsers.size(), 2u);  // a search term alone is a browser
  EXPECT_EQ(before->Browsers[1].SearchTerm.size(), 255u);
  EXPECT_EQ(before->MaxSize, 2147483647);
  EXPECT_EQ(before->Limit, 2147483647u);
  EXPECT_EQ(before->MinSize, 801);

  sheet = openSheet(2, "Shop Two");
  passThroughEveryDialog();
  driver().click(sheet, "Apply");
  driver().click(sheet, "OK");
  const Snapshot applied = snapshot(2);
  // What changed is the numbers' text only, to what every reader took them for (the DWORD
  // now a text like every other value).
  std::map<std::string, std::string> changed;
  for (const std::string& entry : applied)
    if (std::find(imported.begin(), imported.end(), entry) == imported.end()) changed[entry.substr(0, entry.find('|', entry.find('|') + 1))] = entry;
  EXPECT_EQ(changed.size(), 3u) << testing::PrintToString(changed);
  EXPECT_EQ(siteValue(2, "MinSize"), "801");
  EXPECT_TRUE(changed.count(siteKey(2) + "|MaxSize"));
  EXPECT_TRUE(changed.count(siteKey(2) + "|Limit"));
  EXPECT_EQ(applied.size(), imported.size());
  auto after = load(2);
  ASSERT_TRUE(after);
  EXPECT_EQ(after->MinSize, 801);
  ASSERT_EQ(before->MimeTypes.size(), 2u);
  EXPECT_EQ(before->MimeTypes[1].Name.size(), 99u);  // the filter's width
  EXPECT_EQ(describe(after->MimeTypes), describe(before->MimeTypes));
  EXPECT_EQ(describe(after->Browsers), describe(before->Browsers));
  EXPECT_EQ(names(after->FileExtensions, true), names(before->FileExtensions, true));
  EXPECT_EQ(after->NewExclude.size(), 2u);
  EXPECT_EQ(after->NewExclude[1].Pattern.str(), longEntry);

  // A second pass writes nothing different.
  sheet = openSheet(2, "Shop Two");
  passThroughEveryDialog();
  driver().click(sheet, "OK");
  EXPECT_EQ(snapshot(2), applied);
}

}  // namespace
}  // namespace console_tests
