// The markup optimizer, grouped by behaviour. Each case optimises a small document and
// compares the text, so a failure shows what came out.

#include <gtest/gtest.h>

#include "optimizer/optimizer_driver.h"
#include "tests/support/machine_fixture.h"

namespace {

using optimizer::OptimizeBody;
using optimizer::Switches;

class OptimizerTest : public testing_support::MachineTest {
 protected:
  // The optimised body, or "<unchanged>" when the driver hands back nothing.
  std::string optimize(const std::string& body, Switches sw = {}, const std::string& path = "C:\\site\\page.htm") {
    auto out = OptimizeBody(body, path, "C:\\site", sw);
    if (!out) return "<unchanged>";
    EXPECT_LT(out->size(), body.size());
    return *out;
  }
  // A document long enough that the output bound does not stop small cases.
  static std::string page(const std::string& inner) { return "<html><body>" + inner + "</body></html>" + std::string(200, ' '); }
  static std::string out(const std::string& inner) { return "<html><body>" + inner + "</body></html> "; }
};

// --- white space in text ---

TEST_F(OptimizerTest, EveryRunOfWhiteSpaceInTextBecomesOneBlank) {
  EXPECT_EQ(optimize(page("  one \t\r\n  two\n\nthree  ")), out(" one two three "));
}

TEST_F(OptimizerTest, WithCollapseOffTextIsKept) {
  Switches sw;
  sw.WsWhite = false;
  EXPECT_EQ(optimize(page("a   b<!-- c -->"), sw), "<html><body>a   b</body></html>" + std::string(200, ' '));
}

// --- protected elements ---

TEST_F(OptimizerTest, ProtectedElementsKeepTheirContentByteForByte) {
  const std::string inner = "<PRE>  a\n   b  </PRE><textarea>  x\n y </textarea><script>  var a  =  1;\n</script>";
  EXPECT_EQ(optimize(page(inner)), out("<pre>  a\n   b  </pre><textarea>  x\n y </textarea><script>  var a  =  1;\n</script>"));
}

TEST_F(OptimizerTest, TagsInsideProtectedElementsAreStillRewritten) {
  EXPECT_EQ(optimize(page("<pre>  <B CLASS=x>bold</B>  </pre>")), out("<pre>  <b class=\"x\">bold</b>  </pre>"));
}

// A text area's content and a script's are text to the end tag of their own name: what a
// form sends, what a script writes, "<>" where text shows it.
TEST_F(OptimizerTest, TextAreasAndScriptsRunToTheirOwnEndTag) {
  EXPECT_EQ(optimize(page("<textarea><P CLASS=x>  <!--c-->  a <> b</p></TEXTAREA>  <b>x</b>")),
            out("<textarea><P CLASS=x>  <!--c-->  a <> b</p></textarea> <b>x</b>"));
  EXPECT_EQ(optimize(page("<script><B>x</B>; s = \"</SELECT>\";</script>  WHERE a  <>  b")),
            out("<script><B>x</B>; s = \"</SELECT>\";</script> WHERE a <> b"));
  EXPECT_EQ(optimize("a{content:\"x\\\r\ny\"}  b{}", {}, "C:\\s\\a.css"), "a{content:\"x\\\r\ny\"} b{}");
}

// The content of xmp, plaintext and title is text to a browser, tags and all: read as tags
// and written anew, the text a reader sees changed. A title's blanks are collapsed as its
// text; plaintext runs to the end of the document.
TEST_F(OptimizerTest, XmpPlaintextAndTitleHoldTextNotTags) {
  EXPECT_EQ(optimize(page("<xmp>Write <P   CLASS=intro>  first.</XMP>  <B>x</B>")),
            out("<xmp>Write <P   CLASS=intro>  first.</xmp> <b>x</b>"));
  EXPECT_EQ(optimize(page("<TITLE>Use  <EM> for  stress</title>  <B>x</B>")),
            out("<title>Use <EM> for stress</title> <b>x</b>"));
  EXPECT_EQ(optimize("<html><body>" + std::string(50, ' ') + "<PLAINTEXT>Write <B>bold</B>  like  this.</plaintext></body>"),
            "<html><body> <plaintext>Write <B>bold</B>  like  this.</plaintext></body>");
}

// Browsers ignore an end tag with nothing of its kind open. Counted, it drove the count
// below zero, and the next element of that kind came out unprotected.
TEST_F(OptimizerTest, AStrayEndTagLeavesTheNextProtectedElementProtected) {
  EXPECT_EQ(optimize("<html><body>x    y</script>  a   b  <I>x</I>"), "<html><body>x y</script> a b <i>x</i>");
  for (const char* name : {"pre", "textarea", "script"}) {
    const std::string element = std::string("<") + name + ">total    12\n  item  3</" + name + ">";
    EXPECT_EQ(optimize(page(std::string("a  </") + name + ">  b " + element + "  c")),
              out(std::string("a </") + name + "> b " + element + " c"))
        << name;
  }
  // Nor does one of an element a learned rule protects: it let the rest of a pre collapse.
  const std::string css = "<style>code, .keep { white-space: pre }</style>";
  for (const std::string stray : {"<pre>one</code>\n  two</pre>", "<div class=\"keep\">a</div><pre>one</div>\n  two</pre>"})
    EXPECT_EQ(optimize(page(css + stray + "  x")), out(css + stray + " x"));
}

TEST_F(OptimizerTest, ScriptTextRunsToTheClosingScriptTagOnly) {
  EXPECT_EQ(optimize(page("<script>if (a</b) {}  </SCRIPT>  x")), out("<script>if (a</b) {}  </script> x"));
}

// An end tag's name ends as a browser's does: "</style >" and "</style\n>" end a style
// sheet (the rest of the page went through the sheet's pass), "</scriptx" ends no script
// (its code was read as a tag and lower-cased).
TEST_F(OptimizerTest, AnEndTagIsItsNameUpToABlankASlashOrItsEnd) {
  EXPECT_EQ(optimize(page("<style>p  {}</style >  <pre>a   b /* c */</pre>")),
            out("<style>p {}</style > <pre>a   b /* c */</pre>"));
  EXPECT_EQ(optimize(page("<style>p  {}</STYLE\n>  <textarea>a   b</textarea>")),
            out("<style>p {}</style\n> <textarea>a   b</textarea>"));
  EXPECT_EQ(optimize(page("<script>var s = \"</scriptx\"; R = \"ABC\"  </script>  x")),
            out("<script>var s = \"</scriptx\"; R = \"ABC\"  </script> x"));
}

// Old advertising code writes a script from a script inside "<!--": a browser does not end
// the outer script at the inner "</script>", and neither may the optimizer.
TEST_F(OptimizerTest, AScriptWrittenInsideAScriptCommentDoesNotEndIt) {
  const std::string script = "<script>\nR=[];\n<!--\ndocument.write(\"<script>R.push(1)</script>\"); // ad\n"
                             "R.push(\"a   b\");\n// -->\n</script>";
  EXPECT_EQ(optimize(page(script + "  x")), out(script + " x"));
  // Without the comment, or with "<!-->" closing it at once, the inner end tag is the end.
  EXPECT_EQ(optimize(page("<script>s=\"<script>\";</script>  a   b")), out("<script>s=\"<script>\";</script> a b"));
  EXPECT_EQ(optimize(page("<script>x<!--><script></script>  a   b")), out("<script>x<!--><script></script> a b"));
}

// --- comments ---

TEST_F(OptimizerTest, CommentsAreDroppedOutsideProtectedElements) {
  EXPECT_EQ(optimize(page("a<!-- gone -->b<!---->c")), out("abc"));
}

TEST_F(OptimizerTest, KeptCommentsGetOneBlankInsideEachMarker) {
  Switches sw;
  sw.WsComment = false;
  EXPECT_EQ(optimize(page("<!--   -  body  -->x<!-- -->"), sw), out("<!-- body   -->x<!--  -->"));
}

// A "<!--" in a script is the script's: to its engine a one-line comment, so the words after
// it on its line ("<!-- Hide from old browsers") are no code. Rewritten as a comment, those
// words went to a line of their own and broke the script, a "-->" in a string got a blank,
// and a script without "-->" ran on over the page.
TEST_F(OptimizerTest, AScriptHiddenInACommentPassesUnchanged) {
  Switches keepComments;
  keepComments.WsComment = false;
  for (const std::string script :
       {"<script type=\"text/javascript\"><!-- Hide from old browsers\ndocument.write(\"x\");\n// End hiding -->\n</script>",
        "<script><!--\nvar arrow = \"-->\"; document.title = arrow.length;\n//--></script>",
        "<script><!--\n  f();\n// --></script>", "<script><!---->f()</script>"}) {
    EXPECT_EQ(optimize(page(script + "  x")), out(script + " x"));
    EXPECT_EQ(optimize(page(script + "  x"), keepComments), out(script + " x"));
  }
  EXPECT_EQ(optimize(page("<script><!-- f()</SCRIPT>  <B>x</B>")), out("<script><!-- f()</script> <b>x</b>"));
}

// Where a browser ends a comment: "<!-->" and "<!--->" at once, "--!>" as "-->" does; any
// other "<!" is a bogus comment up to the next '>', whatever follows it ("<! DOCTYPE" keeps
// the page in quirks mode). Text a browser shows after them is kept.
TEST_F(OptimizerTest, CommentsEndWhereABrowserEndsThem) {
  EXPECT_EQ(optimize(page("a<!-->  b <!--->c<!-- x --!>  shown <!-- y -->d")), out("a b c shown d"));
  EXPECT_EQ(optimize(page("<!-- -> hidden -->x")), out("x"));
  EXPECT_EQ(optimize(page("<! - note >  shown  -->x<!-x>  too<!x>")), out("<! - note > shown -->x<!-x> too<!x>"));
  EXPECT_EQ(optimize("<! DOCTYPE html><html><body>a    b</body></html>"), "<! DOCTYPE html><html><body>a b</body></html>");
  EXPECT_EQ(optimize("<!doctype   html><html><body>a    b</body></html>"), "<!doctype html><html><body>a b</body></html>");
}

// Each comment is read once. A search for the other ending past the one found read the
// rest of the page for every comment: a page of 30 000 comments held a thread for minutes.
TEST_F(OptimizerTest, APageOfManyCommentsOfEitherEndingIsReadInOnePass) {
  std::string body, expected;
  for (int i = 0; i < 200000; ++i) {
    body += i % 2 ? "<b>x</b><!-- a --!> " : "<b>x</b><!-- b -> c --> ";
    expected += "<b>x</b> ";
  }
  EXPECT_EQ(optimize(page(body)), out(expected));
}

// Stray end tags inside a protected element change nothing, and each costs one look-up:
// every new name once grew a list that each later end tag searched.
TEST_F(OptimizerTest, StrayEndTagsInAProtectedElementAreKeptAndCheap) {
  std::string tags;
  for (int i = 0; i < 200000; ++i) tags += "</q" + std::to_string(i) + ">";
  const std::string inner = "<div style=\"white-space:pre\">  a  " + tags + "  b  </div>";
  EXPECT_EQ(optimize(page(inner + "  c  ")), out(inner + " c "));
}

TEST_F(OptimizerTest, ADocumentEndingInACommentEndsWithItsMarkerWhenKept) {
  Switches sw;
  sw.WsComment = false;
  const std::string body = "<html><body>a" + std::string(50, ' ') + "b<!--   tail";
  EXPECT_EQ(optimize(body, sw), "<html><body>a b<!-- tail -->");
  EXPECT_EQ(optimize(body), "<html><body>a b");
}

// --- style elements and learned white-space selectors ---

TEST_F(OptimizerTest, StyleContentGoesThroughTheCssPass) {
  EXPECT_EQ(optimize(page("<style>  a  {  color : red }  /* c */  </style>")),
            out("<style> a { color : red } </style>"));
}

// Only its end tag ends a style element: a "<!--" in it is the sheet's (hiding it from old
// browsers, or in a string), not a comment running on over the page.
TEST_F(OptimizerTest, AStyleElementEndsOnlyAtItsEndTag) {
  EXPECT_EQ(optimize(page("<style>a:after { content: \"<!--\" }</style><pre>a    b</pre><script>// one\nvar b=2</script>")),
            out("<style>a:after { content: \"<!--\" }</style><pre>a    b</pre><script>// one\nvar b=2</script>"));
  EXPECT_EQ(optimize(page("<style><!--\n  p   { color : red }\n--></style>  x")),
            out("<style><!-- p { color : red } --></style> x"));
  EXPECT_EQ(optimize(page("<style><!-- .keep { white-space: pre } --></style><div class=keep>  a  </div>")),
            out("<style><!-- .keep { white-space: pre } --></style><div class=\"keep\">  a  </div>"));
  EXPECT_EQ(optimize(page("<a href=/docs/>d</a><a href=http://x.org/>e</a>")),
            out("<a href=\"/docs/\">d</a><a href=\"http://x.org/\">e</a>"));
}

// A '<' in a style sheet (a comment's "IE < 7", a string) starts no tag: the sheet keeps its
// rules, and its end tag still ends it.
TEST_F(OptimizerTest, AStyleSheetsLessThanSignStartsNoTag) {
  EXPECT_EQ(optimize(page("<style>/* IE < 7 */ p { color : red }  a:after { content: \"<b>\" }</style>  <pre>a    b</pre>")),
            out("<style> p { color : red } a:after { content: \"<b>\" }</style> <pre>a    b</pre>"));
}

// Comments and at-rules before a rule are no part of its selector, and the rules inside a
// conditional block count; an at-rule's quoted text is no import.
TEST_F(OptimizerTest, SelectorsAreLearnedPastCommentsAndAtRules) {
  writeHostFile(driveC("site/other.css"), "samp { white-space: pre }");
  for (const char* sheet : {"/* keep */.keep { white-space: pre }", "@media screen { p { margin: 0 } .keep { white-space: pre } }",
                            "@font-face { font-family: \"x\"; src: url(x.woff) } .keep { white-space: pre }",
                            "@charset \"utf-8\"; .keep{white-space:pre}",
                            // Property names ignore case; grouping blocks other than @media hold rules too.
                            ".keep { WHITE-SPACE: pre }", "@layer base { .keep { white-space: pre } }",
                            "@container (min-width: 1px) { .keep { white-space: pre } }"}) {
    const std::string inner = std::string("<style>") + sheet + "</style><div class=keep>  a  </div>";
    const std::string result = optimize(page(inner));
    EXPECT_NE(result.find("<div class=\"keep\">  a  </div>"), std::string::npos) << sheet << "\n" << result;
  }
  for (const char* import : {"@import url(other.css);", "@import url( 'other.css' );", "@import 'other.css';"}) {
    const std::string result = optimize(page(std::string("<style>") + import + "</style><samp>  a  </samp>"));
    EXPECT_NE(result.find("<samp>  a  </samp>"), std::string::npos) << import << "\n" << result;
  }
}

TEST_F(OptimizerTest, ATagSelectorLearnedFromAStyleElementProtectsEveryLaterElement) {
  EXPECT_EQ(optimize(page("<style>div.x, P { white-space: pre }</style><p>  a  </p> <p>  b  </p><i>  c  </i>")),
            out("<style>div.x, P { white-space: pre }</style><p>  a  </p> <p>  b  </p><i> c </i>"));
}

TEST_F(OptimizerTest, ClassAndIdSelectorsProtectTheElementsTheyMatch) {
  const std::string css = "<style>.code { white-space: pre } #log { white-space: pre-wrap }</style>";
  EXPECT_EQ(optimize(page(css + "<div class=code>  a  </div><span id=LOG>  b  </span><div>  c  </div>")),
            out(css + "<div class=\"code\">  a  </div><span id=\"LOG\">  b  </span><div> c </div>"));
}

// A rule protects what it names wherever it names it: one of several classes, the last
// element of a descendant selector, the class of a compound. Elements it does not name lose
// their blanks as before.
TEST_F(OptimizerTest, ARuleProtectsTheElementsItsSelectorEndsWith) {
  const std::string css = "<style>.post code, div.keep > span.box:hover, #main [x] { white-space: pre }</style>";
  EXPECT_EQ(optimize(page(css + "<p class=\"code  block\">  a  </p><code>  b  </code><i class=box>  c  </i><b>  d  </b>")),
            out(css + "<p class=\"code  block\"> a </p><code>  b  </code><i class=\"box\">  c  </i><b> d </b>"));
  EXPECT_EQ(optimize(page("<style>.x { white-space: pre }</style><p class=\"a x\">  e  </p>")),
            out("<style>.x { white-space: pre }</style><p class=\"a x\">  e  </p>"));
  EXPECT_EQ(optimize(page("<xmp>  f  </xmp><listing>  g  </listing>  h")), out("<xmp>  f  </xmp><listing>  g  </listing> h"));
  // An element of the same name inside a protected one ends itself, not the protection.
  const std::string keep = "<style>.keep { white-space: pre }</style>";
  EXPECT_EQ(optimize(page(keep + "<div class=keep><div>  x  </div>  y  <br/>  z  </div>  w")),
            out(keep + "<div class=\"keep\"><div>  x  </div>  y  <br/>  z  </div> w"));
}

// A rule whose selector names no tag, class or id may apply to any element: an ancestor it
// names protects it with its content; with none (or a sibling), the whole page keeps its
// white space. A selector list inside ":is()" names each of its elements; generated content
// holds no text of the page.
TEST_F(OptimizerTest, ARuleThatNamesNoElementStillProtectsWhatItMayApplyTo) {
  const std::string body = "<div class=listing><span>  a  </span></div><p class=b>  x  </p><i>  c  </i>";
  const std::string collapsed = "<div class=\"listing\"><span> a </span></div><p class=\"b\"> x </p><i> c </i>";
  struct Case {
    const char* rule;
    std::string expected;
  };
  for (const Case& c : {Case{".listing * { white-space: pre }",
                             "<div class=\"listing\"><span>  a  </span></div><p class=\"b\"> x </p><i> c </i>"},
                        Case{".listing>*{white-space:pre}",
                             "<div class=\"listing\"><span>  a  </span></div><p class=\"b\"> x </p><i> c </i>"},
                        Case{":is(.a, .b) { white-space: pre }",
                             "<div class=\"listing\"><span> a </span></div><p class=\"b\">  x  </p><i> c </i>"},
                        // The page as it came: nothing of it may be stripped.
                        Case{"[data-pre] { white-space: pre }", ""}, Case{"h2 + * { white-space: pre }", ""},
                        Case{"[title]:after { white-space: nowrap }", collapsed}}) {
    const std::string css = std::string("<style>") + c.rule + "</style>";
    EXPECT_EQ(optimize(page(css + body)), c.expected.empty() ? "<unchanged>" : out(css + c.expected)) << c.rule;
  }
}

TEST_F(OptimizerTest, AnInlineWhiteSpaceStyleProtectsItsElementUntilItCloses) {
  EXPECT_EQ(optimize(page("<div style=\"white-space: pre\">  a  </div>  b  ")),
            out("<div style=\"white-space: pre\">  a  </div> b "));
  EXPECT_EQ(optimize(page("<div style=\"WHITE-SPACE: pre\">  a  </div>  b  ")),
            out("<div style=\"WHITE-SPACE: pre\">  a  </div> b "));
}

TEST_F(OptimizerTest, ALinkedStyleSheetTeachesSelectorsFromThePagesFolder) {
  writeHostFile(driveC("site/docs/look.css"), "@import \"more.css\";\n");
  writeHostFile(driveC("site/docs/more.css"), "kbd { white-space: pre }");
  const std::string inner = "<link rel=stylesheet href=\"look.css\"><kbd>  a  </kbd>";
  EXPECT_EQ(optimize(page(inner), {}, "C:\\site\\docs\\page.htm"),
            out("<link rel=\"stylesheet\" href=\"look.css\"><kbd>  a  </kbd>"));
}

// An import names its sheet relative to the sheet it stands in, as a browser reads it: a
// sheet in another folder than the page's brings its parts from its own folder.
TEST_F(OptimizerTest, AnImportInsideASheetResolvesFromThatSheetsFolder) {
  writeHostFile(driveC("site/styles/main.css"), "@import \"parts/code.css\";");
  writeHostFile(driveC("site/styles/parts/code.css"), "@import url(../base.css); samp { white-space: pre }");
  writeHostFile(driveC("site/styles/base.css"), "kbd { white-space: pre }");
  writeHostFile(driveC("site/docs/parts/code.css"), "var { white-space: pre }");
  const std::string inner = "<link rel=stylesheet href=\"/styles/main.css\"><samp>  a  </samp><kbd>  b  </kbd><var>  c  </var>";
  EXPECT_EQ(optimize(page(inner), {}, "C:\\site\\docs\\page.htm"),
            out("<link rel=\"stylesheet\" href=\"/styles/main.css\"><samp>  a  </samp><kbd>  b  </kbd><var> c </var>"));
}

// A rule too long to learn from (a reset's list of tags, a block holding a data: image) is
// passed over: reading stopped there, and the rules after it protected nothing.
TEST_F(OptimizerTest, RulesAfterOneTooLongToLearnFromAreLearned) {
  std::string reset;
  for (int i = 0; i < 60; ++i) reset += "tag" + std::to_string(i) + ", ";
  reset += "b { margin: 0 }\n";
  const std::string image = "body { background: url(data:image/png;base64," + std::string(600, 'A') + ") }\n";
  for (const std::string& first : {reset, image}) {
    writeHostFile(driveC("site/look.css"), first + ".code { white-space: pre }");
    for (const std::string& sheet : {"<style>" + first + ".code { white-space: pre }</style>",
                                     std::string("<link rel=stylesheet href=look.css>")}) {
      const std::string result = optimize(page(sheet + "<div class=code>  a\n    b</div>"));
      EXPECT_NE(result.find("<div class=\"code\">  a\n    b</div>"), std::string::npos) << result;
    }
  }
}

// Each level of nested conditional blocks is read again: thousands of them on one page kept
// a worker reading for minutes. Rules below the eighth level are not learned.
TEST_F(OptimizerTest, ConditionalBlocksAreLearnedEightLevelsDeep) {
  const auto nested = [](int levels) {
    std::string css;
    for (int i = 0; i < levels; ++i) css += "@media screen{";
    css += ".keep{white-space:pre}";
    return "<style>" + css + std::string(static_cast<std::size_t>(levels), '}') + "</style>";
  };
  for (const int levels : {8, 9}) {
    const std::string result = optimize(page(nested(levels) + "<div class=keep>  a  </div>"));
    EXPECT_EQ(result.find("<div class=\"keep\">  a  </div>") != std::string::npos, levels == 8) << result;
  }
}

// Guards against a style sheet cycle keeping a worker reading for ever, and against a page
// naming files outside the site.
TEST_F(OptimizerTest, StyleSheetCyclesAndPathsOutOfTheSiteAreCut) {
  writeHostFile(driveC("site/a.css"), "@import \"b.css\"; kbd { white-space: pre }");
  writeHostFile(driveC("site/b.css"), "@import \"a.css\"; @import \"/a.css\";");
  writeHostFile(driveC("outside.css"), "em { white-space: pre }");
  const std::string inner = "<link rel=stylesheet href=a.css><link rel=stylesheet href=\"../outside.css\"><kbd>  a  </kbd><em>  b  </em>";
  EXPECT_EQ(optimize(page(inner)), out("<link rel=\"stylesheet\" href=\"a.css\"><link rel=\"stylesheet\" href=\"../outside.css\">"
                                       "<kbd>  a  </kbd><em> b </em>"));
}

// A page's links name icons, feeds and downloads as well: every one was read whole on every
// request, a linked archive of many megabytes taking seconds. Only style sheets teach, and
// only those of a size a style sheet has.
TEST_F(OptimizerTest, OnlyLinkedStyleSheetsOfASaneSizeAreRead) {
  writeHostFile(driveC("site/look.css"), "kbd { white-space: pre }");
  writeHostFile(driveC("site/big.css"), "kbd { white-space: pre }" + std::string(1 << 20, ' '));
  const auto kept = [this](const std::string& link) {
    return optimize(page(link + "<kbd>  a  </kbd>")).find("<kbd>  a  </kbd>") != std::string::npos;
  };
  for (const char* link : {"<link rel=stylesheet href=look.css>", "<LINK HREF=look.css REL=StyleSheet>",
                           "<link rel=\"alternate stylesheet\" href=look.css>"})
    EXPECT_TRUE(kept(link)) << link;
  for (const char* link : {"<link rel=prefetch href=look.css>", "<link rel=icon href=look.css>", "<link href=look.css>",
                           "<link rel=stylesheet href=big.css>", "<style>@import \"big.css\";</style>"})
    EXPECT_FALSE(kept(link)) << link;
}

// --- declarations, processing instructions, tags ---

TEST_F(OptimizerTest, DeclarationsAreCollapsedAndProcessingInstructionsRemoved) {
  const std::string body = "<?xml version=\"1.0\"?>\n<!DOCTYPE  html\n PUBLIC  \"x\">\n<html><body>  a  </body></html>";
  EXPECT_EQ(optimize(body), " <!DOCTYPE html PUBLIC \"x\"> <html><body> a </body></html>");
}

TEST_F(OptimizerTest, AttributesAreWrittenInDoubleQuotesWithLowerCaseNames) {
  EXPECT_EQ(optimize(page("<IMG  SRC=a.png   ALT='The River'  Border=0 ISMAP>")),
            out("<img src=\"a.png\" alt=\"The River\" border=\"0\" ismap>"));
}

TEST_F(OptimizerTest, WithLowerNamesOffNamesKeepTheirCase) {
  Switches sw;
  sw.WsLower = false;
  EXPECT_EQ(optimize(page("<IMG SRC=a.png><BR/></P >"), sw), out("<IMG SRC=\"a.png\"><BR/></P >"));
}

// A single-quoted value holding a double quote would break between double quotes.
TEST_F(OptimizerTest, AValueHoldingADoubleQuoteKeepsSingleQuotes) {
  EXPECT_EQ(optimize(page("<p title='say \"hi\"'>x</p><p title=a\"b'c>y</p>")),
            out("<p title='say \"hi\"'>x</p><p title=\"a&quot;b'c\">y</p>"));
}

// A browser ends a quoted value at its quote, backslash or not; re-quoting what the reader
// took in past it (as '{\"a\":1}') gave the browser another value.
// HTML has no escapes: a value ends at its quote, a backslash before it or not, as browsers
// read it. What follows is read as they read it too.
TEST_F(OptimizerTest, AQuotedValueEndsAtItsQuoteWhateverComesBeforeIt) {
  EXPECT_EQ(optimize(page("<a title=\"C:\\\" href=\"/Path/File.html\">y</a>")),
            out("<a title=\"C:\\\" href=\"/Path/File.html\">y</a>"));
  EXPECT_EQ(optimize(page("<div  DATA-X=\"{\\\"a\\\":1}\"  id=k>x</div>")),
            out("<div data-x=\"{\\\" a\\\":1}\" id=\"k\">x</div>"));
  EXPECT_EQ(optimize(page("<p title='it\\'s'>y</p>")), out("<p title=\"it\\\" s'>y</p>"));
  // Left open at the end of the document: no closing quote is made up.
  EXPECT_EQ(optimize("<html><body>   x   <p title=\"a  b  "), "<html><body> x <p title=\"a  b  >");
}

TEST_F(OptimizerTest, SelfClosingTagsAndEmptyPairsAreHandled) {
  EXPECT_EQ(optimize(page("<br/><hr />a<>b")), out("<br/><hr/>a<>b"));
}

// What a browser shows as text stays text, and what it reads as a tag adds no text: a '<'
// before no name, a '/' in a tag that does not close it.
TEST_F(OptimizerTest, APageMeansWhatItMeantAroundLessThanSignsAndSlashes) {
  EXPECT_EQ(optimize(page("5  <  6 and 7 > 3, a<3 and <=")), out("5 < 6 and 7 > 3, a<3 and <="));
  EXPECT_EQ(optimize(page("<br/ >x<div/title=\"a\">y</div><img src=a.png / >")),
            out("<br/>x<div title=\"a\">y</div><img src=\"a.png\"/>"));
}

TEST_F(OptimizerTest, OverLongNamesAbortTheDocument) {
  EXPECT_EQ(optimize(page("<" + std::string(124, 'a') + ">")), "<unchanged>");
  EXPECT_EQ(optimize(page("<p " + std::string(512, 'a') + "=1>")), "<unchanged>");
  EXPECT_EQ(optimize(page("<!D" + std::string(1100, 'a') + ">")), "<unchanged>");
  EXPECT_NE(optimize(page("<" + std::string(123, 'a') + ">")), "<unchanged>");
}

// --- the driver and the output bound ---

TEST_F(OptimizerTest, AResultThatIsNotShorterIsNotUsed) {
  // Quoting the values makes this document longer.
  EXPECT_EQ(optimize("<html><body><p a=1 b=2 c=3>"), "<unchanged>");
}

TEST_F(OptimizerTest, OnlyDocumentsWithAnHtmlOrBodyTagAreOptimised) {
  EXPECT_EQ(optimize("<p>  fragment   only  </p>"), "<unchanged>");
  EXPECT_NE(optimize("<BODY>  a  </BODY>"), "<unchanged>");
  EXPECT_EQ(optimize(page("x"), {}, ""), "<unchanged>");
}

// Everything after a NUL would be lost from the result.
TEST_F(OptimizerTest, ABodyWithANulByteIsNotOptimised) {
  EXPECT_EQ(optimize(page(std::string("a  \0  b", 7))), "<unchanged>");
}

// --- CSS ---

// Only a file named as a style sheet goes through the CSS pass: a page in a folder such as
// "menu.cssfix", or named "howto.css.htm", lost its pre's and script's line ends to it.
TEST_F(OptimizerTest, CssFilesAreRecognisedByTheirExtension) {
  const std::string css = "a  {\n  color : red ;  /* note */\n  margin: 0 }\n";
  EXPECT_EQ(optimize(css, {}, "C:\\site\\look.css"), "a { color : red ; margin: 0 } ");
  EXPECT_EQ(optimize(css, {}, "C:\\site\\LOOK.CSS"), "a { color : red ; margin: 0 } ");
  const std::string html = "<pre>  a\n    b</pre><script>// note\nalert(1)\n</script>";
  for (const char* path : {"C:\\site\\menu.cssfix\\demo.htm", "C:\\site\\howto.css.htm"})
    EXPECT_EQ(optimize(page(html + "  x"), {}, path), out(html + " x")) << path;
  EXPECT_EQ(optimize(css, {}, "C:\\site\\look.txt"), "<unchanged>");
  Switches noCss;
  noCss.WsCss = false;
  EXPECT_EQ(optimize(css, noCss, "C:\\site\\look.css"), "<unchanged>");
  Switches keepComments;
  keepComments.WsCssCom = false;
  EXPECT_EQ(optimize(css, keepComments, "C:\\site\\look.css"), "a { color : red ; /* note */ margin: 0 } ");
}

TEST_F(OptimizerTest, BlanksACommentAndALineBreakBetweenDeclarationsBecomeOneBlank) {
  EXPECT_EQ(optimize("a{x:1;  /* c */\ny:2}", {}, "C:\\s\\a.css"), "a{x:1; y:2}");
  EXPECT_EQ(optimize("a{x:1;/*/y:2}       ", {}, "C:\\s\\a.css"), "a{x:1;y:2} ");
  EXPECT_EQ(optimize("a{x:1} /* open", {}, "C:\\s\\a.css"), "a{x:1} ");
}

// A comment between two parts of one value separated them, and an escape owns the one
// blank that ends it: neither may join what was apart.
TEST_F(OptimizerTest, NoCommentOrEscapeJoinsTwoTokens) {
  EXPECT_EQ(optimize("a{margin:0/**/auto;padding:1px/* t */2px;b/**/:c}  .a\\31  .b{x:1} .c\\  .d{}  .e\\31\r\n .f{}",
                     {}, "C:\\s\\a.css"),
            "a{margin:0 auto;padding:1px 2px;b:c} .a\\31  .b{x:1} .c\\  .d{} .e\\31\r\n .f{}");
}

// Where nothing would join, a comment leaves nothing: a blank in its place made a compound
// selector a descendant one.
TEST_F(OptimizerTest, ACommentBetweenTokensThatCannotJoinLeavesNothing) {
  EXPECT_EQ(optimize(".a/**/.b{x:1}  div/**/#x{}  a/**/:hover{}  [a|/**/=b]{} @media screen and/**/(min-width:1px){}",
                     {}, "C:\\s\\a.css"),
            ".a.b{x:1} div#x{} a:hover{} [a| =b]{} @media screen and (min-width:1px){}");
  EXPECT_EQ(optimize("a{x:1/**/.5;y:0/**/%;z:@/**/b}   ", {}, "C:\\s\\a.css"), "a{x:1 .5;y:0 %;z:@ b} ");
}

// Strings and url(...) are values: their blanks and comment marks were changed once.
TEST_F(OptimizerTest, CssStringsAndUrlsPassUnchanged) {
  const std::string css =
      "a  {  content: \"  /* keep me */  \";  q:'  x\\'  y  ' }\n"
      "b {  background: url(\"x  y.png\")  URL( z  /*w*/.png )  url(  'p  q' ) }  /* gone */\n";
  const std::string want =
      "a { content: \"  /* keep me */  \"; q:'  x\\'  y  ' } "
      "b { background: url(\"x  y.png\") URL( z  /*w*/.png ) url(  'p  q' ) } ";
  EXPECT_EQ(optimize(css, {}, "C:\\s\\a.css"), want);
  EXPECT_EQ(optimize(page("<style>  " + css + "  </style>")), out("<style> " + want + "</style>"));
  // Names that only end in "url" are no url(...).
  EXPECT_EQ(optimize("a{ x:myurl(  1  ) ;y: 2 }", {}, "C:\\s\\a.css"), "a{ x:myurl( 1 ) ;y: 2 }");
}

// A string left open ends at its line end, and the rules after it apply. Made a blank, that
// line end let the string run on over the rest of the sheet, and those rules were lost.
TEST_F(OptimizerTest, TheLineEndThatEndsAnOpenCssStringStays) {
  const std::string css = ".q::before { content: \"it's broken\n}\n.warning { color: red }\n";
  EXPECT_EQ(optimize(css + "   ", {}, "C:\\s\\a.css"), ".q::before { content: \"it's broken\n} .warning { color: red } ");
  EXPECT_EQ(optimize("a{y: 'ab  \r\n  c:1; z:2}   ", {}, "C:\\s\\a.css"), "a{y: 'ab  \r\nc:1; z:2} ");
  EXPECT_EQ(optimize(page("<style>  " + css + "</style>")),
            out("<style> .q::before { content: \"it's broken\n} .warning { color: red } </style>"));
}

}  // namespace
