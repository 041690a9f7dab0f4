#!/usr/bin/env python3
"""Writes the release for players: OUT/inifixer-VERSION-win32.zip, holding
inifixer.exe, README.txt and LICENSE.txt, and OUT/SHA256SUMS for the zip and
the exe.

  package.py --exe inifixer.exe --readme README.md --license LICENSE
             --version 1.0.0 --date 2026-12-08 --out dist

README.txt is the players' part of README.md, between the marker comments
below, turned from Markdown into plain text. Both texts get CR LF line breaks
for Notepad. The zip is the same, byte for byte, whenever and wherever it is
made: its entries come in a fixed order, all dated DATE at midnight, with one
file mode and no extra fields.
"""
import argparse
import hashlib
import os
import re
import sys
import textwrap
import zipfile

BEGIN = "<!-- README.txt begins -->"
END = "<!-- README.txt ends -->"
WIDTH = 78


def plain(text):
    """Markdown inline markup as plain text: [text](url) becomes text (url),
    **bold** loses its marks, and `code` too, but for quotes around code of
    several words (a message, a command) so that it stands out."""
    text = re.sub(r"\[([^\]]+)\]\(([^)]+)\)", r"\1 (\2)", text)
    text = re.sub(r"`([^`]*)`", lambda code: '"%s"' % code.group(1)
                  if " " in code.group(1) else code.group(1), text)
    return text.replace("**", "")


def table_rows(lines):
    return [[plain(cell.strip()) for cell in line.strip().strip("|").split("|")]
            for line in lines]


def wrap(text, first, rest):
    return textwrap.wrap(text, WIDTH, initial_indent=first,
                         subsequent_indent=rest, break_long_words=False,
                         break_on_hyphens=False)


def players_readme(markdown, version):
    """The part of README.md between the markers, as plain text."""
    if markdown.count(BEGIN) != 1 or markdown.count(END) != 1:
        sys.exit("package.py: README.md needs one %s and one %s" % (BEGIN, END))
    part = markdown.split(BEGIN)[1].split(END)[0]
    if "inifixer-%s-win32.zip" % version not in part:
        sys.exit("package.py: README.md tells players of another version's zip")
    part = part.strip("\n").split("\n")
    title = "inifixer %s" % version
    out = [title, "=" * len(title), ""]
    i = 0
    while i < len(part):
        line = part[i]
        if line.startswith("|"):
            # A table: each row becomes its first cell, then "Column: cell"
            # for the others, wrapped and indented.
            block = []
            while i < len(part) and part[i].startswith("|"):
                block.append(part[i])
                i += 1
            header, rows = table_rows(block[:1])[0], table_rows(block[2:])
            for row in rows:
                out += wrap(row[0].replace('"', ""), "* ", "  ")
                for name, cell in zip(header[1:], row[1:]):
                    if cell:
                        out += wrap("%s: %s" % (name, cell), "  ", "    ")
                out.append("")
            continue
        if line.startswith("```"):
            i += 1
            while i < len(part) and not part[i].startswith("```"):
                out.append("    " + part[i])
                i += 1
            i += 1
            continue
        heading = re.match(r"(#+) (.*)", line)
        if heading:
            title = plain(heading.group(2))
            out += [title, ("=" if len(heading.group(1)) <= 2 else "-") *
                    len(title)]
        else:
            out.append(plain(line))
        i += 1
    while out[-1] == "":
        out.pop()
    return "\n".join(out) + "\n"


def crlf(text):
    return text.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-8")


def main():
    parser = argparse.ArgumentParser()
    for option in ("exe", "readme", "license", "version", "date", "out"):
        parser.add_argument("--" + option, required=True)
    args = parser.parse_args()
    date = tuple(int(part) for part in args.date.split("-")) + (0, 0, 0)

    with open(args.exe, "rb") as f:
        exe = f.read()
    with open(args.readme, encoding="utf-8") as f:
        readme = players_readme(f.read(), args.version)
    with open(args.license, encoding="utf-8") as f:
        license_text = f.read()

    os.makedirs(args.out, exist_ok=True)
    name = "inifixer-%s-win32.zip" % args.version
    path = os.path.join(args.out, name)
    with zipfile.ZipFile(path + ".part", "w") as archive:
        for entry, data in (("inifixer.exe", exe),
                            ("README.txt", crlf(readme)),
                            ("LICENSE.txt", crlf(license_text))):
            info = zipfile.ZipInfo(entry, date_time=date)
            info.compress_type = zipfile.ZIP_DEFLATED
            # Plain files, rw-r--r--, whatever the files' modes here.
            info.create_system = 3
            info.external_attr = 0o100644 << 16
            archive.writestr(info, data, compresslevel=9)
    os.replace(path + ".part", path)

    with open(path, "rb") as f:
        sums = "%s  %s\n%s  inifixer.exe\n" % (
            hashlib.sha256(f.read()).hexdigest(), name,
            hashlib.sha256(exe).hexdigest())
    with open(os.path.join(args.out, "SHA256SUMS"), "w") as f:
        f.write(sums)


if __name__ == "__main__":
    main()
