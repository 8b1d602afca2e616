#!/usr/bin/env python3
"""Builds the string catalogue's outputs from resources/catalogue/*.tsv.

The language files are the only place a catalogue text is written. From them
this script produces the Windows string tables (an .rc fragment, UTF-8, one
STRINGTABLE per language block) and the native build's catalogue data (a C++
source read by resources/Catalog.cpp). It refuses a catalogue with a missing,
extra or duplicated identifier, an empty text, an unknown escape, or a
translation that repeats the neutral text instead of writing "=".
"""

import argparse
import os
import re
import sys

# File name, language id, name; the neutral block comes first and defines the
# identifiers the others must hold.
LANGUAGES = [
    ("neutral", 0x0400, "neutral (English)"),
    ("de-DE", 0x0407, "German (Germany)"),
    ("fr-FR", 0x040C, "French (France)"),
    ("it-IT", 0x0410, "Italian (Italy)"),
    ("ja-JP", 0x0411, "Japanese"),
    ("nl-NL", 0x0413, "Dutch (Netherlands)"),
    ("pt-PT", 0x0816, "Portuguese (Portugal)"),
    ("es-ES", 0x0C0A, "Spanish (Spain)"),
]

# The identifiers the module carries; there is no 25008.
ID_RANGES = [(10001, 10028), (15001, 15006), (20001, 20147), (25001, 25007), (25009, 25012)]

SAME_AS_NEUTRAL = "="
LINE = re.compile(r"^(\d+)\t(.*)$")
ESCAPES = {"n": "\n", "t": "\t", "\\": "\\"}


class CatalogueError(Exception):
    pass


def unescape(text, where):
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c == "\\":
            if i + 1 >= len(text) or text[i + 1] not in ESCAPES:
                raise CatalogueError(f"{where}: unknown escape in {text!r}")
            out.append(ESCAPES[text[i + 1]])
            i += 2
        else:
            if ord(c) < 0x20 or ord(c) == 0x7F:
                raise CatalogueError(f"{where}: control character U+{ord(c):04X}; write \\n or \\t")
            out.append(c)
            i += 1
    return "".join(out)


def read_language_file(path):
    """Identifier -> (raw text, line number), in file order."""
    entries = {}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if line.endswith("\r"):
                raise CatalogueError(f"{path}:{number}: CR LF line end")
            if not line.strip() or line.startswith("#"):
                continue
            m = LINE.match(line)
            if not m:
                raise CatalogueError(f"{path}:{number}: expected 'identifier<TAB>text'")
            ident, text = int(m.group(1)), m.group(2)
            where = f"{path}:{number}"
            if ident in entries:
                raise CatalogueError(f"{where}: {ident} already given on line {entries[ident][1]}")
            if not text:
                raise CatalogueError(f"{where}: empty text for {ident}")
            if text != text.strip():
                raise CatalogueError(f"{where}: leading or trailing blank in the text of {ident}")
            entries[ident] = (text, number)
    return entries


def load_catalogue(directory):
    """[(language id, name, {identifier: text})], neutral first."""
    expected = [i for lo, hi in ID_RANGES for i in range(lo, hi + 1)]
    blocks = []
    neutral = None
    for tag, lang_id, name in LANGUAGES:
        path = os.path.join(directory, tag + ".tsv")
        raw = read_language_file(path)
        missing = [i for i in expected if i not in raw]
        extra = sorted(set(raw) - set(expected))
        if missing or extra:
            raise CatalogueError(f"{path}: missing {missing or 'none'}, not in the catalogue {extra or 'none'}")
        texts = {}
        for ident in expected:
            text, number = raw[ident]
            where = f"{path}:{number}"
            if neutral is None:
                if text == SAME_AS_NEUTRAL:
                    raise CatalogueError(f"{where}: the neutral block cannot refer to itself")
                texts[ident] = unescape(text, where)
            elif text == SAME_AS_NEUTRAL:
                texts[ident] = neutral[ident]
            else:
                texts[ident] = unescape(text, where)
                if texts[ident] == neutral[ident]:
                    raise CatalogueError(f"{where}: {ident} repeats the neutral text; write '{SAME_AS_NEUTRAL}'")
        if neutral is None:
            neutral = texts
        blocks.append((lang_id, name, texts))
    return expected, blocks


def rc_string(text):
    out = []
    for c in text:
        if c == '"':
            out.append('""')
        elif c == "\\":
            out.append("\\\\")
        elif c == "\n":
            out.append("\\n")
        elif c == "\t":
            out.append("\\t")
        else:
            out.append(c)
    return '"' + "".join(out) + '"'


def cpp_string(text):
    out = []
    for c in text:
        if c in '"\\':
            out.append("\\" + c)
        elif c == "\n":
            out.append("\\n")
        elif c == "\t":
            out.append("\\t")
        elif ord(c) > 0x7E:
            # Escapes keep the generated source independent of the compiler's
            # input character set.
            out.append(f"\\u{ord(c):04X}" if ord(c) <= 0xFFFF else f"\\U{ord(c):08X}")
        else:
            out.append(c)
    return 'u"' + "".join(out) + '"'


HEADER = "Generated by resources/generate_catalogue.py from resources/catalogue/*.tsv. Do not edit."


def render_rc(ids, blocks):
    lines = [f"// {HEADER}", "#pragma code_page(65001)", ""]
    for lang_id, name, texts in blocks:
        lines.append(f"// 0x{lang_id:04X} {name}")
        lines.append(f"LANGUAGE 0x{lang_id & 0x3FF:02X}, 0x{lang_id >> 10:02X}")
        lines.append("STRINGTABLE")
        lines.append("BEGIN")
        lines.extend(f"    {ident} {rc_string(texts[ident])}" for ident in ids)
        lines.append("END")
        lines.append("")
    return "\n".join(lines)


def render_cpp(ids, blocks):
    lines = [
        f"// {HEADER}",
        '#include "resources/CatalogData.h"',
        "",
        "#include <iterator>",
        "",
        "namespace resources {",
        "namespace {",
        "",
        "constexpr uint32_t kIds[] = {",
    ]
    for start in range(0, len(ids), 10):
        lines.append("    " + ", ".join(str(i) for i in ids[start:start + 10]) + ",")
    lines.append("};")
    lines.append("")
    for lang_id, name, texts in blocks:
        lines.append(f"// {name}")
        lines.append(f"constexpr const char16_t* kTexts{lang_id:04X}[] = {{")
        lines.extend(f"    {cpp_string(texts[ident])},  // {ident}" for ident in ids)
        lines.append("};")
        lines.append(f"static_assert(std::size(kTexts{lang_id:04X}) == std::size(kIds));")
        lines.append("")
    lines.append("constexpr uint16_t kLanguages[] = {" + ", ".join(f"0x{lang_id:04X}" for lang_id, _, _ in blocks) + "};")
    lines.append("")
    lines.append("constexpr CatalogBlock kBlocks[] = {")
    lines.extend(f"    {{0x{lang_id:04X}, kTexts{lang_id:04X}}}," for lang_id, _, _ in blocks)
    lines.append("};")
    lines.append("")
    lines.append("}  // namespace")
    lines.append("")
    lines.append("const std::span<const uint32_t> kCatalogIds(kIds);")
    lines.append("const std::span<const uint16_t> kCatalogLanguages(kLanguages);")
    lines.append("const std::span<const CatalogBlock> kCatalogBlocks(kBlocks);")
    lines.append("")
    lines.append("}  // namespace resources")
    lines.append("")
    return "\n".join(lines)


def write_if_changed(path, text):
    """Leaves an unchanged output alone so that nothing downstream rebuilds."""
    try:
        with open(path, encoding="utf-8", newline="") as f:
            if f.read() == text:
                return
    except FileNotFoundError:
        pass
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)
    os.replace(tmp, path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--catalogue", required=True, help="folder of the language files")
    parser.add_argument("--rc", help="string tables to write (.rc)")
    parser.add_argument("--cpp", help="native catalogue data to write (.cpp)")
    args = parser.parse_args()
    try:
        ids, blocks = load_catalogue(args.catalogue)
        if args.rc:
            write_if_changed(args.rc, render_rc(ids, blocks))
        if args.cpp:
            write_if_changed(args.cpp, render_cpp(ids, blocks))
    except (CatalogueError, OSError) as e:
        print(f"generate_catalogue: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
