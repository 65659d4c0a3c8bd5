"""Text typed on the console host's page is stored as typed: text beyond ASCII is shown
back as typed and stays so when the field is edited again (the page and the host speak
UTF-8, the platform's ANSI code page), a name past its limit loses whole characters only,
and a name the store could not keep apart from another is refused rather than stored."""
import unittest
import urllib.request

from console_driver import ConsoleDriver
from machine import Machine

CACHING = "Tamsic Caching Preferences"
CACHE_FOLDER = 1172
ADVANCED = "Tamsic Advanced Configuration Preferences"
ADVANCED_BUTTON, MIME_BUTTON = 1004, 1101
MIME_LIST = "MIME Type List"
ADD_TYPE, TYPE_NAME = 1111, 1120
BROWSERS_BUTTON = 1102
BROWSER_LIST = "Browser Definitions"
ADD_BROWSER, BROWSER_NAME, SEARCH_TEXT = 1111, 1130, 1131
SITE1 = "HKLM\\SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\1"


class ConsoleTextTest(unittest.TestCase):
    def setUp(self):
        self.machine = Machine()
        self.machine.start()
        urllib.request.urlopen(self.machine.url("/small.htm"), timeout=30).read()  # the filter makes the site key
        self.console = ConsoleDriver(self.machine)

    def tearDown(self):
        code = self.console.stop()
        self.machine.remove()
        self.assertEqual(code, 0)

    def stored(self, name):
        out = self.machine.tool("reg", "query", SITE1, "/v", name).stdout
        line = next(line for line in out.splitlines() if line.strip().startswith(name + " "))
        return line.strip().split(None, 2)[2]

    def test_a_folder_name_beyond_ascii_round_trips(self):
        sheet = self.console.open_sheet("Intranet")
        for typed in ("C:\\Inetpub\\wwwroot\\c\u00e4che \u6771\u4eac \U0001f600", None):
            self.console.click(sheet, "Cache")
            shown = self.console.control(CACHING, id=CACHE_FOLDER)["text"]
            if typed is None:  # edited again the way a person does: on what is shown
                typed = shown + "2"
            self.console.type(CACHING, CACHE_FOLDER, typed)
            self.assertEqual(self.console.control(CACHING, id=CACHE_FOLDER)["text"], typed)
            self.console.click(CACHING, "OK")
            self.console.gone(CACHING)
            self.console.apply(sheet)
            self.assertEqual(self.stored("CacheFolder"), typed)
        self.assertTrue(typed.endswith("\U0001f6002"))

    def test_a_folder_past_its_limit_is_cut_between_characters(self):
        typed = "C:\\Inetpub\\wwwroot\\x" + "\u00e9" * 120  # 140 characters, 260 bytes
        sheet = self.console.open_sheet("Intranet")
        self.console.click(sheet, "Cache")
        self.console.type(CACHING, CACHE_FOLDER, typed)
        self.console.click(CACHING, "OK")
        self.console.gone(CACHING)
        self.console.apply(sheet)
        stored = self.stored("CacheFolder")  # decoded as UTF-8: half a character fails here
        self.assertEqual(stored, typed[:len(stored)])
        self.assertEqual(len(stored.encode()), 254)  # 255 bytes would end in half an "é"

    def test_a_size_limit_not_in_force_is_kept_and_does_not_hold_the_dialog(self):
        self.machine.set_site_value(1, "Limit", "-1")
        self.machine.set_site_value(1, "NoLimit", "0")
        sheet = self.console.open_sheet("Intranet")
        self.console.click(sheet, "Cache")
        self.console.type(CACHING, CACHE_FOLDER, "C:\\Inetpub\\wwwroot\\newcache")
        self.console.click(CACHING, "OK")
        self.console.gone(CACHING)
        self.console.apply(sheet)
        self.assertEqual(self.stored("CacheFolder"), "C:\\Inetpub\\wwwroot\\newcache")
        self.assertEqual(self.stored("Limit"), "-1")

    def test_a_name_past_its_limit_is_cut_between_characters(self):
        # 60 characters of two bytes each: past the 99 bytes a MIME name keeps.
        typed = "\u00fc" * 60
        sheet = self.console.open_sheet("Intranet")
        self.console.click(sheet, id=ADVANCED_BUTTON)
        self.console.click(ADVANCED, id=MIME_BUTTON)
        self.console.select_tree_item(MIME_LIST, "MIME Types")
        self.console.click(MIME_LIST, id=ADD_TYPE)
        add = self.console.windows()[-1]["caption"]
        self.console.type(add, TYPE_NAME, typed)
        self.console.click(add, "OK")
        notice = self.console.windows()[-1]["caption"]
        if notice not in (MIME_LIST, add):  # a note on which rule comes first
            self.console.click(notice, "OK")
        self.console.gone(add)
        for caption in (MIME_LIST, ADVANCED):
            self.console.click(caption, "OK")
            self.console.gone(caption)
        self.console.apply(sheet)
        stored = self.stored("MimeTypes")  # decoded as UTF-8: half a character fails here
        name = stored.split("\\0")[-1].rsplit(",", 2)[0]
        self.assertEqual(name, "\u00fc" * 49)

    def test_a_browser_name_taken_in_another_case_is_refused(self):
        # Each browser is stored as a value named after it, and value names ignore case.
        sheet = self.console.open_sheet("Intranet")
        self.console.click(sheet, id=ADVANCED_BUTTON)
        self.console.click(ADVANCED, id=BROWSERS_BUTTON)
        browsers = lambda: [i["text"] for c in self.console.controls(BROWSER_LIST) if c.get("tree")
                            for i in c["tree"] if i["depth"] == 1]
        before = browsers()
        self.assertIn("Opera 5", before)
        for name in ("opera 5", "Lynx 2"):
            self.console.select_tree_item(BROWSER_LIST, "Browsers")
            self.console.click(BROWSER_LIST, id=ADD_BROWSER)
            add = self.console.windows()[-1]["caption"]
            self.console.type(add, BROWSER_NAME, name)
            self.console.type(add, SEARCH_TEXT, "Opera/6.")
            self.console.click(add, "OK")
            if name == "opera 5":
                self.console.window("Tamsic")
                self.console.click("Tamsic", "OK")
            self.console.gone(add)
        self.assertEqual(browsers(), before + ["Lynx 2"])
        for caption in (BROWSER_LIST, ADVANCED):
            self.console.click(caption, "OK")
            self.console.gone(caption)
        self.console.apply(sheet)
        stored = self.machine.tool("reg", "query", SITE1 + "\\Browsers").stdout
        self.assertIn("Opera/5.,", stored)
        self.assertIn("Lynx 2", stored)


    def test_a_pasted_line_break_ends_a_browser_name_and_the_store_exports_and_imports(self):
        # A one-line edit control keeps what is pasted up to its first line break: a value
        # name with a line break was written raw into an export that import refused whole.
        sheet = self.console.open_sheet("Intranet")
        self.console.click(sheet, id=ADVANCED_BUTTON)
        self.console.click(ADVANCED, id=BROWSERS_BUTTON)
        self.console.select_tree_item(BROWSER_LIST, "Browsers")
        self.console.click(BROWSER_LIST, id=ADD_BROWSER)
        add = self.console.windows()[-1]["caption"]
        self.console.type(add, BROWSER_NAME, "Lynx\r\nText")
        self.console.type(add, SEARCH_TEXT, "Lynx/")
        self.assertEqual(self.console.control(add, id=BROWSER_NAME)["text"], "Lynx")
        self.console.click(add, "OK")
        self.console.gone(add)
        for caption in (BROWSER_LIST, ADVANCED):
            self.console.click(caption, "OK")
            self.console.gone(caption)
        self.console.apply(sheet)
        backup = self.machine.root + "/backup.reg"
        self.machine.tool("reg", "export", "HKLM\\SOFTWARE\\Korvane", backup, "/y")
        before = self.machine.tool("reg", "query", SITE1 + "\\Browsers").stdout
        self.assertIn("Lynx/", before)
        self.machine.tool("reg", "delete", "HKLM\\SOFTWARE\\Korvane", "/f")
        self.assertEqual(self.machine.tool("reg", "import", backup, check=False).returncode, 0)
        self.assertEqual(self.machine.tool("reg", "query", SITE1 + "\\Browsers").stdout, before)

if __name__ == "__main__":
    unittest.main()
