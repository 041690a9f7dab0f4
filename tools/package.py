#!/usr/bin/env python3
"""Writes the release for players: OUT/inifixer-VERSION-win32.zip, holding
inifixer.exe, README.txt, LICENSE.txt and THIRD-PARTY.txt;
OUT/inifixer-VERSION-linux-x86_64.tar.gz, holding the folder
inifixer-VERSION-linux-x86_64/ with inifixer, README.txt, LICENSE.txt and
THIRD-PARTY.txt; and OUT/SHA256SUMS for the zip, the exe, the tarball and the
Linux executable, in that order.

  package.py --exe inifixer.exe --notices THIRD-PARTY.txt
             --linux-exe inifixer --linux-notices THIRD-PARTY.txt
             --readme README.md --license LICENSE --version VERSION
             --date YYYY-MM-DD --out dist

README.txt is the players' part of README.md, between the marker comments
below, turned from Markdown into plain text. THIRD-PARTY.txt is each
executable's own, as its build wrote it (tools/third_party.py). In the zip
the texts get CR LF line breaks for Notepad; in the tarball, LF. Both
packages are the same, byte for byte, whenever and wherever they are made:
their entries come in a fixed order, all dated DATE at midnight (UTC in the
tarball), with fixed modes (in the zip 0644 for every file; in the tarball
0755 for the folder and inifixer, 0644 for the texts); the zip has no extra
fields, the tarball's entries belong to 0/0 with no names, and the gzip
header holds neither a file name nor a time.
"""
import argparse
import calendar
import gzip
import hashlib
import io
import os
import re
import sys
import tarfile
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


def package_names(version):
    """The zip's and the tarball's names."""
    return ("inifixer-%s-win32.zip" % version,
            "inifixer-%s-linux-x86_64.tar.gz" % version)


def players_readme(markdown, version):
    """The part of README.md between the markers, as plain text."""
    if markdown.count(BEGIN) != 1 or markdown.count(END) != 1:
        sys.exit("package.py: README.md needs one %s and one %s" % (BEGIN, END))
    part = markdown.split(BEGIN)[1].split(END)[0]
    for package in package_names(version):
        if package not in part:
            sys.exit("package.py: README.md does not tell players of %s"
                     % package)
    # Every file it names by version, and its "New in", are of this version.
    for named in re.findall(r"inifixer-(\d+(?:\.\d+)+)|New in (\d+(?:\.\d+)+)",
                            part):
        if version not in named:
            sys.exit("package.py: README.md names version %s, not %s"
                     % ("".join(named), version))
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
            # Underlined by level: = for the top two, - and then ~ below.
            mark = "==-~"[min(len(heading.group(1)), 4) - 1]
            out += [title, mark * len(title)]
        else:
            out.append(plain(line))
        i += 1
    while out[-1] == "":
        out.pop()
    return "\n".join(out) + "\n"


def lf(text):
    return text.replace("\r\n", "\n").encode("utf-8")


def crlf(text):
    return lf(text).replace(b"\n", b"\r\n")


def write_tarball(path, top, files, mtime):
    """A gzipped tarball of the folder TOP holding FILES (name, data, mode),
    in that order; the same bytes for the same FILES and MTIME."""
    def entry(name, mode, size=0, kind=tarfile.REGTYPE):
        info = tarfile.TarInfo(name)
        info.type, info.mode, info.size, info.mtime = kind, mode, size, mtime
        info.uid = info.gid = 0
        info.uname = info.gname = ""
        return info

    tar_bytes = io.BytesIO()
    with tarfile.open(fileobj=tar_bytes, mode="w",
                      format=tarfile.USTAR_FORMAT) as tar:
        tar.addfile(entry(top + "/", 0o755, kind=tarfile.DIRTYPE))
        for name, data, mode in files:
            tar.addfile(entry(top + "/" + name, mode, len(data)),
                        io.BytesIO(data))
    with open(path + ".part", "wb") as f:
        # No file name and no time in the gzip header.
        with gzip.GzipFile(filename="", mode="wb", fileobj=f, mtime=0,
                           compresslevel=9) as packed:
            packed.write(tar_bytes.getvalue())
    os.replace(path + ".part", path)


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def main():
    parser = argparse.ArgumentParser()
    for option in ("exe", "notices", "linux-exe", "linux-notices", "readme",
                   "license", "version", "date", "out"):
        parser.add_argument("--" + option, required=True)
    args = parser.parse_args()
    date = tuple(int(part) for part in args.date.split("-")) + (0, 0, 0)

    with open(args.exe, "rb") as f:
        exe = f.read()
    with open(args.linux_exe, "rb") as f:
        linux_exe = f.read()
    with open(args.readme, encoding="utf-8") as f:
        readme = players_readme(f.read(), args.version)
    with open(args.license, encoding="utf-8") as f:
        license_text = f.read()
    with open(args.notices, encoding="utf-8") as f:
        notices = f.read()
    with open(args.linux_notices, encoding="utf-8") as f:
        linux_notices = f.read()

    os.makedirs(args.out, exist_ok=True)
    name, tarball = package_names(args.version)
    path = os.path.join(args.out, name)
    with zipfile.ZipFile(path + ".part", "w") as archive:
        for entry, data in (("inifixer.exe", exe),
                            ("README.txt", crlf(readme)),
                            ("LICENSE.txt", crlf(license_text)),
                            ("THIRD-PARTY.txt", crlf(notices))):
            info = zipfile.ZipInfo(entry, date_time=date)
            info.compress_type = zipfile.ZIP_DEFLATED
            # Plain files, rw-r--r--, whatever the files' modes here.
            info.create_system = 3
            info.external_attr = 0o100644 << 16
            archive.writestr(info, data, compresslevel=9)
    os.replace(path + ".part", path)

    top = tarball[:-len(".tar.gz")]
    write_tarball(os.path.join(args.out, tarball), top,
                  (("inifixer", linux_exe, 0o755),
                   ("README.txt", lf(readme), 0o644),
                   ("LICENSE.txt", lf(license_text), 0o644),
                   ("THIRD-PARTY.txt", lf(linux_notices), 0o644)),
                  calendar.timegm(date))

    sums = "".join("%s  %s\n" % line for line in (
        (sha256(path), name),
        (hashlib.sha256(exe).hexdigest(), "inifixer.exe"),
        (sha256(os.path.join(args.out, tarball)), tarball),
        (hashlib.sha256(linux_exe).hexdigest(), "inifixer")))
    with open(os.path.join(args.out, "SHA256SUMS"), "w") as f:
        f.write(sums)


if __name__ == "__main__":
    main()
