#!/usr/bin/env python3
"""The printer side of `make package` (scripts/package.sh): takes each PPD's
names, refuses a family the INF cannot describe, and writes the PPDs, their
plug-in configuration files and the one INF of the family.

  package-inf.py VERSION DRIVER_DATE ARCHITECTURE:DECORATION:DIR... -- PPD...

Prints one line saying what is wrong and exits 1, writing nothing; or, on
standard error, one line per PPD (where it ships, under which model name),
then makes each DIR afresh and writes into it the PPDs under their shipped
names, their INIs and the INF for that architecture, and prints the names of
the files it wrote (the same in each DIR), in the order SHA256SUMS lists them.

Names:
  - the shipped file name is the PPD's *PCFileName, the name the PPD gives
    itself on Windows, else the name of the file; its INI has its stem;
  - a model's name is its *NickName, or its *ModelName when it has none;
  - the manufacturer is its *Manufacturer, the provider the first PPD's
    manufacturer; PROVIDER= and MANUFACTURER= in the environment override
    them, INF= names the INF (default: the first PPD's stem, .INF).
The bytes of those values are read in the PPD's *LanguageEncoding (ENCODINGS);
without one, or with another, only ASCII is accepted. An INF whose text is
all ASCII is written as such; otherwise as UTF-16LE with a byte order mark,
which setupapi reads whatever the machine's code page.
"""
import os
import re
import shutil
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TEMPLATES = os.path.join(HERE, "..", "package")
INF_TEMPLATE = os.path.join(TEMPLATES, "NORVC5.INF.in")
INI_TEMPLATE = os.path.join(TEMPLATES, "NORVC5.INI.in")
DLL = "corvina.dll"

# *LanguageEncoding -> Python codec, as the PPD format names them (UTF-8 as
# CUPS writes it).
ENCODINGS = {
    "ISOLatin1": "latin_1",
    "ISOLatin2": "iso8859_2",
    "WindowsANSI": "cp1252",
    "MacStandard": "mac_roman",
    "JIS83-RKSJ": "cp932",
    "UTF-8": "utf_8",
}
# setupapi's LINE_LEN: a model's description, a manufacturer's and the
# provider's name each fill at most 256 UTF-16 units with their terminator.
LINE_LEN = 256
# What an INF value may carry unquoted as a file name: no blank, none of
# , ; = " % [ ], and ASCII, which every code page reads alike.
FILE_NAME = re.compile(r"[A-Za-z0-9_.-]+$")
MAX_SECTION_NAME = 255  # MAX_INF_SECTION_NAME_LENGTH; a PPD's name is its install section's


class Refusal(Exception):
    """One line saying why the family cannot be packaged."""


class Printer:
    def __init__(self, source, shipped, shipped_from, model, manufacturer):
        self.source = source
        self.ppd = shipped
        self.ppd_from = shipped_from  # where the shipped name comes from
        stem, ext = os.path.splitext(shipped)
        self.ini = stem + (".ini" if ext.islower() else ".INI")
        self.model = model
        self.manufacturer = manufacturer


def main_keyword(data, keyword):
    """The raw value of the first `*keyword:` line: the bytes between the
    quotes of a quoted value (which may run over lines), else the rest of the
    line; None when the file has no such line or the quote never closes."""
    match = re.search(rb"(?m)^\*" + re.escape(keyword.encode()) + rb"[ \t]*:[ \t]*", data)
    if not match:
        return None
    rest = data[match.end():]
    if rest.startswith(b'"'):
        end = rest.find(b'"', 1)
        return None if end < 0 else rest[1:end]
    return re.match(rb"[^\r\n]*", rest).group(0).strip()


def text_of(source, keyword, raw, encoding):
    """The value as text, read in the PPD's *LanguageEncoding."""
    if raw is None:
        return None
    if all(b < 0x80 for b in raw):
        return raw.decode("ascii")
    if encoding not in ENCODINGS:
        said = f"its *LanguageEncoding, {encoding}, does not say" if encoding else "no *LanguageEncoding says"
        raise Refusal(f"{source}: *{keyword} has bytes outside ASCII, and {said} how to read them "
                      f"(known: {', '.join(ENCODINGS)})")
    try:
        return raw.decode(ENCODINGS[encoding])
    except UnicodeDecodeError as error:
        raise Refusal(f"{source}: *{keyword} is not {encoding}: byte 0x{raw[error.start]:02X} at {error.start}")


def usable_name(name, text):
    """The text as the INF writes it, or a refusal of one it cannot carry;
    `name` says what the text is, and where it comes from."""
    if any(ord(c) < 0x20 or ord(c) == 0x7F for c in text):
        raise Refusal(f"{name} holds a line break or another control character")
    units = len(text.encode("utf-16-le")) // 2
    if units > LINE_LEN - 1:
        raise Refusal(f"{name} is {units} characters long; an INF holds at most {LINE_LEN - 1} (LINE_LEN, "
                      f"{LINE_LEN} with its terminator): \"{text[:40]}...\"")
    return text


def read_printer(source, manufacturer_setting):
    try:
        with open(source, "rb") as f:
            data = f.read()
    except OSError as error:
        raise Refusal(f"{source}: cannot read it: {error.strerror}")
    raw_encoding = main_keyword(data, "LanguageEncoding")
    encoding = raw_encoding.decode("ascii", "replace") if raw_encoding is not None else None

    model, keyword = None, None
    for keyword in ("NickName", "ModelName"):
        model = text_of(source, keyword, main_keyword(data, keyword), encoding)
        if model is not None and model.strip():
            break
    if model is None or not model.strip():
        raise Refusal(f"{source}: no usable model name: the file has neither a *NickName nor a *ModelName "
                      f"with text")
    model = usable_name(f"{source}: the model name (*{keyword})", model.strip())

    if manufacturer_setting:
        manufacturer = manufacturer_setting
    else:
        manufacturer = (text_of(source, "Manufacturer", main_keyword(data, "Manufacturer"), encoding) or "").strip()
        if not manufacturer:
            raise Refusal(f"{source}: no *Manufacturer to name its manufacturer section; set MANUFACTURER=")
        manufacturer = usable_name(f"{source}: the manufacturer (*Manufacturer)", manufacturer)

    pc_file_name = main_keyword(data, "PCFileName")
    if pc_file_name is not None and pc_file_name.strip():
        shipped, shipped_from = pc_file_name.strip().decode("latin_1"), "its *PCFileName"
    else:
        shipped, shipped_from = os.path.basename(source), "its file name"
    check_file_name(source, shipped, shipped_from, ".ppd")
    return Printer(source, shipped, shipped_from, model, manufacturer)


def check_file_name(source, name, name_from, extension):
    if not FILE_NAME.match(name) or len(name) > MAX_SECTION_NAME:
        raise Refusal(f"{source}: the INF cannot carry the file name \"{name}\" ({name_from}): use at most "
                      f"{MAX_SECTION_NAME} of the letters A-Z, a-z, the digits, '-', '_' and '.'")
    stem, ext = os.path.splitext(name)
    if ext.lower() != extension or not stem:
        raise Refusal(f"{source}: the file name \"{name}\" ({name_from}) does not end in {extension.upper()}")


def read_family(sources):
    """The printers of the PPDs, in their order, with the settings; refuses
    what one INF cannot hold."""
    if not sources:
        raise Refusal("no PPD given")
    settings = {key: os.environ.get(key, "").strip() for key in ("PROVIDER", "MANUFACTURER", "INF")}
    for key in ("PROVIDER", "MANUFACTURER"):
        if settings[key]:
            usable_name(f"{key}=", settings[key])
    printers = [read_printer(source, settings["MANUFACTURER"]) for source in sources]
    models, files = {}, {}
    for printer in printers:
        earlier = models.setdefault(printer.model.casefold(), printer)
        if earlier is not printer:
            raise Refusal(f"{earlier.source} and {printer.source} give one model name, \"{printer.model}\": "
                          f"each model of an INF needs its own (change a *NickName)")
        earlier = files.setdefault(printer.ppd.upper(), printer)
        if earlier is not printer:
            raise Refusal(f"{earlier.source} and {printer.source} both ship as {printer.ppd} "
                          f"({printer.ppd_from}): each PPD needs its own file name")
    inf = settings["INF"] or os.path.splitext(printers[0].ppd)[0] + (
        ".inf" if os.path.splitext(printers[0].ppd)[1].islower() else ".INF")
    check_file_name("INF=" if settings["INF"] else printers[0].source, inf, "the INF's name", ".inf")
    provider = settings["PROVIDER"] or printers[0].manufacturer
    return printers, provider, inf


def quoted(text):
    """A name inside double quotes on a line setupapi substitutes %strkey%
    tokens in. The values of [Strings] are taken as written."""
    return text.replace("%", "%%")


def token(text, taken):
    """A strings key and section name from a manufacturer's name: its ASCII
    letters and digits, unique among `taken`."""
    base = re.sub(r"[^A-Za-z0-9]", "", text)[:64] or "Manufacturer"
    name, n = base, 1
    while name.upper() in taken:
        n += 1
        name = f"{base}{n}"
    taken.add(name.upper())
    return name


def fill(template_path, values, blocks):
    """The template's lines with @NAME@ replaced by values[NAME] and each line
    that is only @NAME@ replaced by the lines of blocks[NAME]."""
    lines = []
    with open(template_path, encoding="utf-8") as f:
        for line in f.read().splitlines():
            name = line.strip()[1:-1] if re.fullmatch(r"@[A-Z_]+@", line.strip()) else None
            if name in blocks:
                lines.extend(blocks[name])
                continue

            def value(match):
                if match.group(1) not in values:
                    raise Refusal(f"{os.path.basename(template_path)} has a placeholder this script does not "
                                  f"fill: {match.group(0)}")
                return values[match.group(1)]

            lines.append(re.sub(r"@([A-Z_]+)@", value, line))
    return lines


def inf_lines(printers, provider, inf, architecture, decoration, version, driver_date):
    taken = {"DISKNAME"}
    sections = {}  # manufacturer -> (token, printers)
    for printer in printers:
        sections.setdefault(printer.manufacturer, (token(printer.manufacturer, taken), []))[1].append(printer)
    keys = {manufacturer: key for manufacturer, (key, _) in sections.items()}
    provider_key = keys.get(provider) or token("Provider", taken)

    manufacturers, models, installs, sources, strings = [], [], [], [], []
    if provider not in keys:
        strings.append(f'{provider_key}="{provider}"')
    for manufacturer, (key, members) in sections.items():
        manufacturers.append(f"%{key}%={key},{decoration}")
        if models:
            models.append("")
        models.append(f"[{key}.{decoration}]")
        models += [f'"{quoted(p.model)}" = {p.ppd}' for p in members]
        strings.append(f'{key}="{manufacturer}"')
    for printer in printers:
        if installs:
            installs.append("")
        installs += [f"[{printer.ppd}]",
                     f"CopyFiles=@{printer.ppd},@{printer.ini},@{DLL}",
                     "DataSection=PSCRIPT_DATA",
                     f"DataFile={printer.ppd}",
                     "Include=NTPRINT.INF",
                     "Needs=PSCRIPT.OEM"]
        sources += [f"{printer.ppd}=1", f"{printer.ini}=1"]

    one = printers[0] if len(printers) == 1 else None
    stem, ext = os.path.splitext(inf)
    values = {
        "INF": inf,
        "WHAT": f"the {one.model}" if one else f"{len(printers)} printer models",
        "ARCHITECTURE": architecture,
        "PROVIDER_KEY": provider_key,
        "DRIVER_DATE": driver_date,
        "VERSION": version,
        "CATALOG": stem + (".cat" if ext.islower() else ".CAT"),
        "DISK_NAME": f"{one.model} driver files" if one else f"{provider} printer driver files",
    }
    blocks = {"MANUFACTURERS": manufacturers, "MODELS": models, "INSTALL_SECTIONS": installs,
              "SOURCE_FILES": sources, "STRINGS": strings}
    return fill(INF_TEMPLATE, values, blocks)


def write_text(path, lines, utf16):
    """CRLF line ends, as Windows tools read these files."""
    text = "".join(line + "\r\n" for line in lines)
    with open(path, "wb") as f:
        f.write(b"\xff\xfe" + text.encode("utf-16-le") if utf16 else text.encode("ascii"))


def write(version, driver_date, targets, sources):
    printers, provider, inf = read_family(sources)
    for printer in printers:
        print(f"{printer.source}: ships as {printer.ppd} ({printer.ppd_from}) with {printer.ini}, "
              f"model \"{printer.model}\" of {printer.manufacturer}", file=sys.stderr)
    print(f"{inf}: {len(printers)} model{'s' if len(printers) != 1 else ''}, provider {provider}", file=sys.stderr)
    written = []
    for target in targets:
        architecture, decoration, out = target.split(":", 2)
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        written = []
        for printer in printers:
            shutil.copyfile(printer.source, os.path.join(out, printer.ppd))
            # The driver reads the INI in the ANSI code page: a name outside
            # ASCII stays out of it.
            model = printer.model if printer.model.isascii() else f"printer of {printer.ppd}"
            write_text(os.path.join(out, printer.ini),
                       fill(INI_TEMPLATE, {"INI": printer.ini, "MODEL": model}, {}), False)
            written += [printer.ppd, printer.ini]
        lines = inf_lines(printers, provider, inf, architecture, decoration, version, driver_date)
        write_text(os.path.join(out, inf), lines, not all(line.isascii() for line in lines))
        written.append(inf)
    print("\n".join(written))


def main(argv):
    try:
        if "--" not in argv or argv.index("--") < 4:
            print(__doc__.split("\n\n")[1], file=sys.stderr)
            return 2
        split = argv.index("--")
        write(argv[1], argv[2], argv[3:split], argv[split + 1:])
    except Refusal as refusal:
        print(f"package: {refusal}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
