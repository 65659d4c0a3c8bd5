#include "filter/negotiation.h"

#include <algorithm>
#include <cctype>
#include <ctime>

#include "filter/header_edits.h"
#include "filter/isapi_access.h"
#include "optimizer/selector_learning.h"
#include "platform/text/ascii_case.h"
#include "settings/rule_lists.h"

namespace filter {

namespace {

using platform::text::equalsNoCase;

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// True when a ";q=" parameter gives the coding a weight of zero.
bool zeroQuality(std::string_view parameters) {
  for (std::size_t at = parameters.find(';'); at != std::string_view::npos; at = parameters.find(';', at + 1)) {
    std::size_t i = at + 1;
    while (i < parameters.size() && (parameters[i] == ' ' || parameters[i] == '\t')) ++i;
    if (i + 1 >= parameters.size() || (parameters[i] != 'q' && parameters[i] != 'Q') || parameters[i + 1] != '=')
      continue;
    i += 2;
    bool nonZero = false, digits = false;
    for (; i < parameters.size() && (std::isdigit(static_cast<unsigned char>(parameters[i])) || parameters[i] == '.'); ++i) {
      if (parameters[i] != '.') digits = true;
      if (parameters[i] >= '1' && parameters[i] <= '9') nonZero = true;
    }
    return digits && !nonZero;
  }
  return false;
}

}  // namespace

AcceptedEncoding ParseAcceptEncoding(std::string_view value) {
  bool gzip = false, deflate = false, gzipRefused = false, gzipNamed = false, restRefused = false;
  std::size_t start = 0;
  while (start <= value.size()) {
    std::size_t comma = value.find(',', start);
    if (comma == std::string_view::npos) comma = value.size();
    const std::string_view item = value.substr(start, comma - start);
    start = comma + 1;
    const std::size_t semicolon = item.find(';');
    const std::string_view coding = TrimBlanks(item.substr(0, semicolon));
    // A refusal counts in any case: coding names are case-insensitive. What a client accepts
    // is still found by the case-sensitive test the rules were written for.
    const bool namesGzip = platform::text::findNoCase(coding, "gzip") != std::string_view::npos;
    if (semicolon != std::string_view::npos && zeroQuality(item.substr(semicolon))) {
      gzipRefused |= namesGzip;
      restRefused |= coding == "*";
      continue;
    }
    gzipNamed |= namesGzip;
    gzip |= contains(coding, "gzip");
    deflate |= contains(coding, "deflate");
  }
  // Only gzip is ever sent (to deflate clients too), so a client that refuses it, by name or
  // by refusing every coding it does not name, gets none.
  if (gzipRefused || (restRefused && !gzipNamed)) return AcceptedEncoding::kNone;
  return gzip ? AcceptedEncoding::kGzip : deflate ? AcceptedEncoding::kDeflateOnly : AcceptedEncoding::kNone;
}

Directive DirectiveFromWord(std::string_view word) {
  // Blanks around a field's value are no part of it, however the server handed it over.
  word = TrimBlanks(word);
  if (equalsNoCase(word, "white-space-only")) return Directive::kWhiteSpaceOnly;
  if (equalsNoCase(word, "gzip-only")) return Directive::kGzipOnly;
  if (equalsNoCase(word, "full-compression")) return Directive::kFullCompression;
  if (equalsNoCase(word, "no-compression")) return Directive::kNoCompression;
  return Directive::kNone;
}

std::int32_t MatchMimeRules(ResponseState& state, const settings::SiteSettings& site,
                            std::optional<std::string_view> contentType) {
  if (!contentType) return 0;
  const std::string_view type = contentType->substr(0, 255);
  state.contentType = type;
  bool forced = false;
  switch (state.directive) {
    case Directive::kNoCompression: state.optimizeMode = OptimizeMode::kNever; return 0;
    case Directive::kWhiteSpaceOnly: state.optimizeMode = OptimizeMode::kAlways; return 0;
    case Directive::kGzipOnly: state.optimizeMode = OptimizeMode::kNever; forced = true; break;
    case Directive::kFullCompression: state.optimizeMode = OptimizeMode::kAlways; forced = true; break;
    case Directive::kNone: break;
  }
  const std::size_t slash = type.find('/');
  if (slash == std::string_view::npos) return forced ? 2 : 0;
  const std::string_view top = type.substr(0, slash);
  const std::string_view sub = type.substr(slash + 1);
  if (!forced && site.WsCss && site.EnableWhite && equalsNoCase(sub, "css")) state.optimizeMode = OptimizeMode::kAlways;

  bool browserTypeMatch = false;
  for (const settings::BrowserRule& browser : site.Browsers) {
    const std::string_view term = browser.SearchTerm;
    const std::size_t bang = term.find('!');
    const std::string_view include = term.substr(0, bang);
    const std::string_view exclude = bang == std::string_view::npos ? std::string_view("NOBROWSER") : term.substr(bang + 1);
    const std::string_view agent = state.userAgent;
    if (!contains(agent, include) || contains(agent, exclude)) continue;
    for (const settings::MimeRule& rule : browser.MimeRules) {
      if (rule.Name.str() != top) continue;
      for (const settings::MimeRule& subRule : rule.SubTypes) {
        if (subRule.Name.str() != sub) continue;
        state.ruleCompress = static_cast<std::uint32_t>(subRule.Compress);
        state.level = subRule.Level;
        return forced ? 2 : subRule.Compress;
      }
      state.ruleCompress = static_cast<std::uint32_t>(rule.Compress);
      state.level = rule.Level;
      browserTypeMatch = true;
      break;
    }
    break;  // only the first matching browser counts
  }
  for (const settings::MimeRule& rule : site.MimeTypes) {
    if (rule.Name.str() != top) continue;
    bool subMatched = false;
    for (const settings::MimeRule& subRule : rule.SubTypes) {
      if (subRule.Name.str() != sub) continue;
      state.ruleCompress = static_cast<std::uint32_t>(subRule.Compress);
      state.level = subRule.Level;
      subMatched = true;
      break;
    }
    if (!subMatched && !browserTypeMatch) {
      state.ruleCompress = static_cast<std::uint32_t>(rule.Compress);
      state.level = rule.Level;
    }
    return forced ? 2 : static_cast<std::int32_t>(state.ruleCompress);
  }
  return forced ? 2 : 0;
}

namespace {

std::string_view before(std::string_view s, std::size_t at) { return at == std::string_view::npos ? s : s.substr(0, at); }
std::string_view behind(std::string_view s, std::size_t at) {
  return at == std::string_view::npos || at + 1 > s.size() ? std::string_view() : s.substr(at + 1);
}

enum class PatternOutcome { kNext, kExcluded, kAllowed };

// The first '.' of the last component: the extension's, which a folder with a dot in its
// name ("C:\Inetpub\www.example", "v1.2") must not take for its own.
std::size_t fileDot(std::string_view text, std::size_t folderEnd) {
  return text.find('.', folderEnd == std::string_view::npos ? 0 : folderEnd + 1);
}

// The first pass over one pattern (both already with '\' separators).
PatternOutcome firstPass(std::string_view path, std::string_view pattern) {
  const std::size_t pathFolder = path.rfind('\\');
  const std::size_t patFolder = pattern.rfind('\\');
  const std::size_t pathDot = fileDot(path, pathFolder);
  const std::size_t patDot = fileDot(pattern, patFolder);
  const bool bothDots = pathDot != std::string_view::npos && patDot != std::string_view::npos;
  const bool bothFolders = pathFolder != std::string_view::npos && patFolder != std::string_view::npos;
  const auto excludedIf = [](bool c) { return c ? PatternOutcome::kExcluded : PatternOutcome::kNext; };

  if (!pattern.empty() && pattern[0] == '*' && (pattern.size() < 2 || pattern[1] != '.')) return PatternOutcome::kExcluded;
  if (bothDots && patDot > 0 && pattern[patDot - 1] == '*') {  // "*.ext", "folder\*.ext"
    if (patDot + 1 < pattern.size() && pattern[patDot + 1] == '*') return PatternOutcome::kAllowed;  // "*.*"
    if (bothFolders && !equalsNoCase(before(path, pathFolder), before(pattern, patFolder))) return PatternOutcome::kNext;
    return excludedIf(equalsNoCase(behind(path, pathDot), behind(pattern, patDot)));
  }
  if (bothDots && patDot + 1 < pattern.size() && pattern[patDot + 1] == '*') {  // "name.*"
    const std::string_view pathName = before(path, pathDot);
    const std::string_view patName = before(pattern, patDot);
    if (patFolder == std::string_view::npos && pathFolder != std::string_view::npos)
      return excludedIf(pathFolder < pathDot && equalsNoCase(pathName.substr(pathFolder + 1), patName));
    if (pathFolder == std::string_view::npos) return excludedIf(equalsNoCase(pathName, patName));
    // "folder\name.*" against a path with a folder: the same folder and the same name.
    return excludedIf(equalsNoCase(pathName, patName));
  }
  if (bothDots) return excludedIf(equalsNoCase(path, pattern));
  if (pathDot != std::string_view::npos && patDot == std::string_view::npos && bothFolders) {
    // "folder\\*" (or "folder\\") names the folder before its last '\\'; a folder typed without
    // them names itself, not its parent. Excluded is what lies in it, at any depth.
    const std::string_view pathPart = path.substr(0, pathFolder);
    const std::string_view tail = pattern.substr(patFolder + 1);
    const std::string_view patPart = tail.empty() || tail == "*" ? pattern.substr(0, patFolder) : pattern;
    return excludedIf(pathPart.size() >= patPart.size() && equalsNoCase(pathPart.substr(0, patPart.size()), patPart) &&
                      (pathPart.size() == patPart.size() || pathPart[patPart.size()] == '\\'));
  }
  return PatternOutcome::kNext;
}

bool secondPass(std::string_view path, std::string_view pattern) {
  if (pattern.find('.') == std::string_view::npos) {
    if (pattern.empty()) return false;
    const std::size_t at = platform::text::findNoCase(path, pattern);
    if (at == std::string_view::npos) return false;
    const std::size_t probe = pattern.back() == '\\' ? at + pattern.size() - 1 : at + pattern.size();
    return probe < path.size() && path[probe] == '\\';
  }
  return equalsNoCase(path, pattern);
}

// A path or pattern as exclusions compare them: '\' separators, and ',' for ';' as the URL
// has it (a file with ';' in its name could not be excluded). The copy is made only when
// something changes.
std::string_view asMatched(std::string_view text, std::string& scratch) {
  if (text.find_first_of("/;") == std::string_view::npos) return text;
  scratch.assign(text);
  std::replace(scratch.begin(), scratch.end(), '/', '\\');
  std::replace(scratch.begin(), scratch.end(), ';', ',');
  return scratch;
}

// Where the URL ends in the translated path, which spells it in any case and with ';'
// where the URL has ','; npos when it is not there.
std::size_t urlEndIn(std::string_view translated, std::string_view url) {
  if (url.size() > translated.size()) return std::string_view::npos;
  for (std::size_t at = translated.size() - url.size() + 1; at-- > 0;) {
    std::size_t i = 0;
    for (; i < url.size(); ++i) {
      const char c = translated[at + i];
      if ((c == ';' ? ',' : platform::text::lowerAscii(c)) != url[i]) break;
    }
    if (i == url.size()) return at + url.size();
  }
  return std::string_view::npos;
}

}  // namespace

bool IsExcluded(HTTP_FILTER_CONTEXT* pfc, ResponseState& state, const settings::SiteSettings& site) {
  // Cut as the 511 characters a path field holds, whatever the server handed over.
  const std::string translated = ServerVariable(pfc, "PATH_TRANSLATED", 512).value_or("").substr(0, 511);
  std::string url = state.url.str();
  for (char& c : url) c = c == '/' ? '\\' : c == ';' ? ',' : c;
  state.url.assign(url);
  std::string root = translated;
  std::size_t cut = std::string::npos;
  if (root.find('.') != std::string::npos) {
    platform::text::lowerInPlace(root);
    // The translated path keeps the ';' that the URL now has as ','.
    std::string scratch;
    cut = asMatched(root, scratch).find(url);
    if (cut != std::string::npos) root.resize(cut);
  }
  // The source as the server spells it, case and ';' kept: the cache checks its copy
  // against that very file. A translated path without '.' is taken as the site's folder.
  if (translated.find('.') == std::string::npos) {
    state.sourceFile.assign(translated + url);
  } else {
    const std::size_t end = urlEndIn(translated, url);
    state.sourceFile.assign(end == std::string::npos ? std::string_view() : std::string_view(translated).substr(0, end));
  }
  root += url;
  state.physicalPath.assign(root);
  root.resize(root.size() - url.size());
  state.pathTranslated.assign(root);
  std::string pathScratch;
  const std::string_view path = asMatched(state.physicalPath, pathScratch);
  std::string scratch;
  for (const settings::ExclusionEntry& entry : site.NewExclude) {
    switch (firstPass(path, asMatched(entry.Pattern.str(), scratch))) {
      case PatternOutcome::kExcluded: return true;
      case PatternOutcome::kAllowed: return false;
      case PatternOutcome::kNext: break;
    }
  }
  for (const settings::ExclusionEntry& entry : site.NewExclude)
    if (secondPass(path, asMatched(entry.Pattern.str(), scratch))) return true;
  return false;
}

std::string_view UrlExtension(std::string_view url) {
  const std::size_t folderEnd = url.find_last_of("\\/");
  const std::string_view file = folderEnd == std::string_view::npos ? url : url.substr(folderEnd + 1);
  const std::size_t dot = file.find('.');
  return dot == std::string_view::npos ? std::string_view() : file.substr(dot);
}

void SetLevelByExtension(ResponseState& state, const settings::SiteSettings& site) {
  const std::string_view extension = UrlExtension(state.url.str());
  for (const settings::ExtensionRule& rule : site.FileExtensions) {
    if (equalsNoCase(rule.Name.str(), extension)) {
      state.level = rule.Level;
      return;
    }
  }
  if (state.level <= 0) state.level = 6;
}

namespace {

// The fields of an answer without a rewritable body, made those of the whole answer to a
// GET: a cache stores them for it (RFC 9110 asks a HEAD answer and a 206 to carry them).
// A range (a HEAD one too) is a piece of the plain entity, varying by Accept-Encoding as the
// whole answer does. A HEAD answer whose declared length the size limits take names the
// coding and the weak tag the rewrite gives, and no length, which the rewrite changes
// (an optimised body's too). Without a declared length the limits decide only on the body,
// so nothing is claimed.
void DescribeWholeAnswer(ResponseState& state, bool piece, bool sizedWithinLimits) {
  const bool compressing = state.directive != Directive::kWhiteSpaceOnly;
  if (piece) {
    state.plainVariant = compressing;
    return;
  }
  if (!sizedWithinLimits) return;
  RemoveField(state.header, "Content-Length");
  if (compressing) AddEncodingLines(state.header, "gzip");
  WeakenETag(state.header);
}

// The whole entity's length from a range's "bytes first-last/length"; 0 when not told.
std::int64_t wholeLengthOfRange(std::optional<std::string_view> range) {
  if (!range) return 0;
  const std::size_t slash = range->rfind('/');
  return slash == std::string_view::npos ? 0 : settings::parseNumber(range->substr(slash + 1));
}

}  // namespace

Decision DecideCompression(HTTP_FILTER_CONTEXT* pfc, ResponseState& state, const settings::SiteSettings& site) {
  const std::string_view header = state.header;
  // Asked about many fields before the one edit at the end.
  const FieldIndex fields(header);
  // Read first: a response that passes is counted by it.
  const auto lengthText = fields.value("Content-Length");
  state.declaredLength = lengthText ? settings::parseNumber(*lengthText) : 0;
  // A HEAD answer has no body to rewrite, and a byte range (206) is a piece of the plain
  // entity, but each names what the whole answer to a GET would (below). 204 and 205 have
  // no body at all.
  // Methods are case-sensitive: a program answers "head" with a body, to be rewritten.
  const bool head = state.method.str() == "HEAD";
  bool piece = fields.find("Content-Range").has_value();
  const std::size_t blank = header.find(' ');
  if (blank != std::string_view::npos) {
    const std::string_view status = header.substr(blank + 1, 3);
    if (status == "204" || status == "205") return Decision::kPass;
    piece = piece || status == "206";
  }
  // A range is sized by the entity it is a piece of, as its whole answer would be.
  const std::int64_t length = piece ? wholeLengthOfRange(fields.value("Content-Range")) : state.declaredLength;
  if (length != 0 && (length > site.MaxSize || length < site.MinSize)) return Decision::kPass;
  state.bodyLength = 0;
  const std::int32_t result = MatchMimeRules(state, site, fields.value("Content-Type"));
  if (result == 0) {
    if (state.optimizeMode != OptimizeMode::kAlways) return Decision::kPass;
    state.directive = Directive::kWhiteSpaceOnly;
  }
  if (IsExcluded(pfc, state, site) && result != 2 && state.directive != Directive::kWhiteSpaceOnly) return Decision::kPass;
  if (state.acceptedEncoding == AcceptedEncoding::kNone && state.directive != Directive::kWhiteSpaceOnly) {
    // A cache must not hand this plain answer to a client that takes gzip, nor the reverse.
    state.plainVariant = !fields.find("Content-Encoding");
    return Decision::kPass;
  }
  if (fields.find("Content-Encoding")) {
    state.optimizeMode = OptimizeMode::kNever;
    state.directive = Directive::kNone;
    return Decision::kPass;
  }
  if (head || piece) {
    // A declared 0 passed the limits above unasked; the end of the body asks them.
    DescribeWholeAnswer(state, piece, lengthText && state.declaredLength >= site.MinSize);
    return Decision::kPass;
  }
  if (PrivateResponse(fields) || VariesBeyondEncoding(fields)) state.privateExchange = true;
  state.chunked = RemoveChunkedLine(state.header) ? Chunked::kChunked : Chunked::kNo;
  if (state.directive != Directive::kWhiteSpaceOnly) SetLevelByExtension(state, site);
  if (state.directive != Directive::kWhiteSpaceOnly) state.phase = Phase::kCompressing;
  state.captureStart = std::time(nullptr);
  return Decision::kCapture;
}

}  // namespace filter
