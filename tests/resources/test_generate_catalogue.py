"""The generator refuses a catalogue that breaks its rules, and writes the
texts it is given, escapes included, into both outputs."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
RESOURCES = os.path.join(HERE, "..", "..", "resources")
sys.path.insert(0, RESOURCES)
import generate_catalogue  # noqa: E402


class GeneratorTest(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.root)
        self.fresh_copy()

    def fresh_copy(self):
        """Points self.dir at a new copy of the real catalogue."""
        self.dir = tempfile.mkdtemp(dir=self.root)
        shutil.copytree(os.path.join(RESOURCES, "catalogue"), self.dir, dirs_exist_ok=True)

    def edit(self, language, ident, text):
        """Replaces (text None: removes) the line of `ident`, or appends it."""
        path = os.path.join(self.dir, language + ".tsv")
        with open(path, encoding="utf-8") as f:
            lines = [l for l in f.read().split("\n") if not l.startswith(f"{ident}\t")]
        if text is not None:
            lines.append(f"{ident}\t{text}")
        with open(path, "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")

    def refuses(self, message):
        with self.assertRaises(generate_catalogue.CatalogueError) as caught:
            generate_catalogue.load_catalogue(self.dir)
        self.assertIn(message, str(caught.exception))

    def test_refuses_broken_catalogues(self):
        cases = [
            ("missing identifier", "de-DE", 10001, None, "missing [10001]"),
            ("unknown identifier", "fr-FR", 25008, "Rien", "not in the catalogue [25008]"),
            ("neutral referring to itself", "neutral", 10001, "=", "cannot refer to itself"),
            ("translation repeating neutral", "it-IT", 10002, "Resolution", "write '='"),
            ("unknown escape", "nl-NL", 10003, "a\\qb", "unknown escape"),
            ("trailing blank", "es-ES", 10004, "Memoria ", "trailing blank"),
            ("raw tab", "pt-PT", 10005, "a\tb", "control character"),
        ]
        for name, language, ident, text, message in cases:
            with self.subTest(name):
                self.fresh_copy()
                self.edit(language, ident, text)
                self.refuses(message)

    def test_duplicate_identifier(self):
        with open(os.path.join(self.dir, "ja-JP.tsv"), "a", encoding="utf-8") as f:
            f.write("10001\t給紙\n")
        self.refuses("already given")

    def test_escapes_reach_both_outputs(self):
        self.edit("de-DE", 25002, 'Zeile "eins"\\nZeile \\\\zwei\\\\')
        out = os.path.join(self.dir, "out")
        rc = subprocess.run([sys.executable, os.path.join(RESOURCES, "generate_catalogue.py"),
                             "--catalogue", self.dir, "--rc", out + ".rc", "--cpp", out + ".cpp"],
                            capture_output=True, text=True)
        self.assertEqual(rc.returncode, 0, rc.stderr)
        with open(out + ".rc", encoding="utf-8") as f:
            self.assertIn('25002 "Zeile ""eins""\\nZeile \\\\zwei\\\\"', f.read())
        with open(out + ".cpp", encoding="utf-8") as f:
            self.assertIn('u"Zeile \\"eins\\"\\nZeile \\\\zwei\\\\",  // 25002', f.read())

    def test_the_real_catalogue_loads(self):
        ids, blocks = generate_catalogue.load_catalogue(self.dir)
        self.assertEqual(len(ids), 192)
        self.assertEqual([b[0] for b in blocks], [0x0400, 0x0407, 0x040C, 0x0410, 0x0411, 0x0413, 0x0816, 0x0C0A])


if __name__ == "__main__":
    unittest.main()
