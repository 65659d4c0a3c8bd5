"""Text beyond ASCII typed on the console host's page is stored as typed, shown back as
typed, and stays so when the field is edited again (the page and the host speak UTF-8,
the platform's ANSI code page)."""
import unittest
import urllib.request

from console_driver import ConsoleDriver
from machine import Machine

CACHING = "Tamsic Caching Preferences"
CACHE_FOLDER = 1172
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


if __name__ == "__main__":
    unittest.main()
