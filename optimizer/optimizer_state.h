#pragma once
// The working record of one optimised response, shared by the HTML and CSS optimizers.

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/fs/file_stamp.h"
#include "settings/bounded_text.h"

namespace optimizer {

using settings::BoundedText;

enum class SelectorKind : std::int32_t { kClass = 0, kId = 1, kTag = 2 };

// A selector learned from CSS (or made for one inline "white-space" style) whose elements
// keep their content unchanged.
struct WhiteSpaceSelector {
  BoundedText<254> elementName;  // the tag it applies to; for class and id, the tag last matched
  BoundedText<254> selectorName;  // tag name, or class or id without its '.' or '#'
  bool persistent = false;        // learned from a style sheet, not made for one element
  SelectorKind kind = SelectorKind::kTag;
};

struct OptimizerState {
  std::uint32_t DropComments = 0;
  std::uint32_t LowerNames = 0;
  std::uint32_t CollapseWhite = 0;
  std::uint32_t CssWhite = 0;
  std::uint32_t CssComments = 0;
  std::string Output;  // its size is the output length; always below inputLength
  std::string FilePath;
  std::int32_t KeepDepth = 0;
  std::int32_t StyleDepth = 0;
  std::int32_t ScriptDepth = 0;
  std::vector<WhiteSpaceSelector> Selectors;
  // A white-space rule that may apply to any element was learned: KeepDepth holds one more,
  // for the rest of the document.
  bool keepsAll = false;

  // The output bound: every append keeps Output strictly shorter than the input.
  std::size_t inputLength = 0;
  // Linked style sheets resolve against FilePath's folder and never leave this folder.
  std::string siteRoot;
  // Style sheets read for this document (upper-cased host paths), so that sheets that
  // import each other are read once.
  std::set<std::string> sheetsRead;
  // The same sheets as named, each stamped before it was read: a copy of the result depends
  // on them.
  std::vector<platform::fs::StampedFile> sheetStamps;
  int importDepth = 0;
  // The sheet being read, whose folder the names it imports are relative to; empty while
  // the page's own text is read.
  std::string sheetPath;

  // Appends under the output bound; false (and nothing appended) when it would be reached.
  bool append(std::string_view text) {
    if (Output.size() + text.size() >= inputLength) return false;
    Output.append(text);
    return true;
  }
};

}  // namespace optimizer
