#!/usr/bin/env python3
"""Writes THIRD-PARTY.txt for a release executable: what code in it is not
inifixer's own, from the map its link wrote (-Wl,-Map=inifixer.map).

  third_party.py --map inifixer.map --build-dir build-linux
                 --program inifixer --platform "Linux (x86_64)"
                 --version VERSION --out THIRD-PARTY.txt

Each input file of the link outside the build directory is mapped to the
Debian package that ships it (dpkg-query -S) and that package's version. Each
such package must be in PACKAGES below, which says what it is, its licence,
and which notices and licence texts THIRD-PARTY.txt reproduces. A file that
belongs to no package, or to a package that PACKAGES does not know, stops the
generator, so that no new library reaches a release without its notices.

The file lists the packages the link took code from: those of the object
files it was given and of the archives it took a member of; an archive it
took nothing from, or a linker script (libm.a), brings in nothing. The text
depends only on those files' names, the packages' versions and their
copyright files: no paths of this machine, no dates, everything sorted, so
that the packages built from it stay the same bytes.
"""
import argparse
import collections
import os
import re
import subprocess
import sys
import textwrap

WIDTH = 78
DOC = "/usr/share/doc/%s/copyright"
LICENSES = "/usr/share/common-licenses/"
MERGED = ("bin", "sbin", "lib", "lib32", "lib64", "libx32")

# What THIRD-PARTY.txt reproduces of a package's copyright file: all of it;
# the lines from the one that begins with FIRST to the next that begins with
# LAST; or the paragraphs (Files, Copyright, License) of a copyright file in
# Debian's machine-readable format whose License is one of LICENCES.
Whole = collections.namedtuple("Whole", "")
Lines = collections.namedtuple("Lines", "first last")
Paragraphs = collections.namedtuple("Paragraphs", "licences")

# name: what it is, for the list at the top; spdx: its licence, likewise;
# what, licence: the same said in full; notice: what of the copyright file;
# texts: the files of /usr/share/common-licenses given in full at the end;
# relink: whether to tell how to relink inifixer with a changed library.
Package = collections.namedtuple(
    "Package", "name spdx what licence notice texts relink")

GCC_SPDX = "GPL-3.0-or-later WITH GCC-exception-3.1"
GCC_LICENCE = (
    "The GNU General Public License, version 3 or later, with version 3.1 of "
    "the GCC Runtime Library Exception. The exception lets a program that GCC "
    "compiled and linked with the library be distributed under terms of its "
    "own choosing; the notice below holds its text. The text of the GPL is "
    "in /usr/share/common-licenses/GPL-3 on Debian and at "
    "https://www.gnu.org/licenses/gpl-3.0.txt.")
# GCC's copyright statement, the libraries under the exception, and the
# exception itself; the rest of the file is about parts of GCC that no link
# of inifixer takes.
GCC_NOTICE = (Lines("GCC is Copyright", " - libvtv"),
              Lines("GCC RUNTIME LIBRARY EXCEPTION",
                    "requirements of the license of GCC."))
LIBGCC_WHAT = (
    "GCC's low-level runtime library (libgcc): helper routines for "
    "arithmetic, the unwinder that C++ exceptions use, and the code around "
    "a program's start and end that runs its constructors and destructors.")
LIBSTDCXX_WHAT = "The GNU C++ Library (libstdc++): the C++ standard library."
MINGW_GCC = (" This one comes with GCC's cross compiler for 32-bit Windows "
             "(MinGW-w64, win32 threads).")


def gcc_library(name, what):
    """One of GCC's runtime libraries, under the GPL with the exception."""
    return Package(name=name, spdx=GCC_SPDX, what=what, licence=GCC_LICENCE,
                   notice=GCC_NOTICE, texts=(), relink=False)


PACKAGES = {
    "libc6-dev": Package(
        name="the GNU C Library (glibc)", spdx="LGPL-2.1-or-later",
        what="The GNU C Library (glibc): the C library, and the start-up "
        "code that runs before main.",
        licence="The GNU Lesser General Public License, version 2.1 or "
        "later, whose full text ends this file; some parts are under other "
        "free licences, as the notice below says.",
        notice=(Whole(),), texts=(("LGPL-2.1", "GNU Lesser General Public "
                                   "License, version 2.1"),),
        relink=True),
    "libgcc-12-dev": gcc_library("GCC's runtime library (libgcc)",
                                 LIBGCC_WHAT),
    "libstdc++-12-dev": gcc_library("the GNU C++ Library (libstdc++)",
                                    LIBSTDCXX_WHAT),
    "gcc-mingw-w64-i686-win32": gcc_library(
        "GCC's runtime libraries (libgcc, libssp) for 32-bit Windows",
        LIBGCC_WHAT + " And GCC's stack protector library (libssp): the "
        "check of the guard value that ends a function whose stack was "
        "overwritten, and the checked string functions that FORTIFY "
        "calls." + MINGW_GCC),
    "g++-mingw-w64-i686-win32": gcc_library(
        "the GNU C++ Library (libstdc++) for 32-bit Windows",
        LIBSTDCXX_WHAT + MINGW_GCC),
    "mingw-w64-i686-dev": Package(
        name="the MinGW-w64 runtime for 32-bit Windows",
        spdx="ZPL-2.1 and others",
        what="The MinGW-w64 runtime: a program's start-up code, the C "
        "functions that Windows' msvcrt.dll lacks, and the import libraries "
        "through which a program calls the DLLs of Windows.",
        licence="Most of it is under the Zope Public License, version 2.1 "
        "(ZPL-2.1), whose second condition asks that a redistribution in "
        "binary form reproduce its copyright notice, its conditions and its "
        "disclaimer: the first paragraph of the notice below. Parts are in "
        "the public domain; the number conversions (gdtoa) and the printf "
        "family, which the C++ library's streams use, are under the "
        "permissive licences of the other paragraphs.",
        notice=(Paragraphs(("ZPL-2.1", "Lucent", "David-Gay",
                            "Keith-Marshall")),),
        texts=(), relink=False),
}

RELINK = """\
inifixer's own source is free software under the MIT licence (LICENSE.txt),
so this executable can be made again with a changed GNU C Library. On Debian,
with the source of inifixer {version} and the packages cmake, g++, libc6-dev
and python3, build it with the linux preset, putting the directory that
holds the changed libc.a first on the linker's search path:

    cmake --preset linux -DCMAKE_EXE_LINKER_FLAGS=-L/path/to/changed
    cmake --build build-linux --target inifixer

The link takes libc.a from the first directory on that path that has one, and
build-linux/inifixer.map then names every file it read. To take changed
start files (rcrt1.o, crti.o, crtn.o) from that directory too, add
-B/path/to/changed/ to the same flags. A libc.a built from the source above,
with your changes, is such a library.
"""


def fail(message):
    sys.exit("third_party.py: " + message)


def wrap(text, first="", rest=""):
    return "\n".join(textwrap.wrap(text, WIDTH, initial_indent=first,
                                   subsequent_indent=rest,
                                   break_long_words=False,
                                   break_on_hyphens=False)) + "\n"


def underlined(title, mark):
    return "%s\n%s\n" % (title, mark * len(title))


# The headings of a GNU ld map that follow its list of archive members.
MAP_HEADINGS = ("Discarded input sections", "Allocating common symbols",
                "Memory Configuration", "Linker script and memory map",
                "Merging program properties")


def read_map(path, build_dir):
    """The files of the link outside BUILD_DIR, from its map: all of them (its
    LOAD lines), and those it took code from (the object files, and the
    archives its first part names a member of, as ARCHIVE(MEMBER) at the
    start of a line)."""
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        lines = f.read().splitlines()
    loaded = [line[len("LOAD "):] for line in lines
              if line.startswith("LOAD ")]
    members, listing = set(), False
    for line in lines:
        if line.startswith("Archive member included"):
            listing = True
        elif line.startswith(MAP_HEADINGS):
            listing = False
        elif listing and line and not line[0].isspace():
            # The longest loaded name that the line begins with, then "(":
            # a name may hold parentheses and spaces of its own.
            archive = max((name for name in loaded
                           if line.startswith(name + "(")), key=len,
                          default=None)
            if archive is not None:
                members.add(archive)
    inputs, taken = set(), set()
    for line in loaded:
        name = os.path.normpath(os.path.join(build_dir, line))
        if os.path.commonpath([name, build_dir]) == build_dir:
            continue  # inifixer's own objects and libraries
        inputs.add(name)
        if line in members or is_object(name):
            taken.add(name)
    if not inputs:
        fail("%s names no file outside %s: is it a link map?"
             % (path, build_dir))
    return inputs, taken


def is_object(path):
    """Whether PATH is an object file, not an archive or a linker script
    (text, whose NUL-free start tells it from an object's header)."""
    with open(path, "rb") as f:
        start = f.read(256)
    return not start.startswith((b"!<arch>\n", b"!<thin>\n")) and b"\0" in start


def bare(package):
    """PACKAGE without its architecture (libc6-dev:amd64)."""
    return package.split(":")[0]


def names_of(path):
    """The names under which dpkg may know the file PATH: as the link saw it,
    the file it leads to, and each under its other name where /lib, /bin and
    /sbin are links into /usr (where the link sees /usr/lib/..., dpkg may
    know /lib/...)."""
    names = []
    for name in (path, os.path.realpath(path)):
        top = name.split("/")[1:3]
        if top[0] == "usr" and top[1] in MERGED:
            other = name[len("/usr"):]
        elif top[0] in MERGED:
            other = "/usr" + name
        else:
            other = None
        names.append(name)
        if other and os.path.exists(other) and os.path.samefile(name, other):
            names.append(other)
    return list(dict.fromkeys(names))


def owners(paths, unknown):
    """The packages (with their architecture) that ship each of PATHS, asked
    of dpkg in one query. A path that no package ships stops the run with
    the message UNKNOWN, its %s the path; with UNKNOWN None, it gets an empty
    list."""
    names = {path: names_of(path) for path in paths}
    everything = sorted({name for known in names.values() for name in known})
    # dpkg-query fails when one of the names is of no package; the others
    # are answered all the same.
    query = subprocess.run(["dpkg-query", "-S"] + everything,
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                           text=True) if everything else None
    package_of = {}
    for line in query.stdout.splitlines() if query else []:
        if not line.startswith("diversion by ") and ": " in line:
            packages, name = line.split(": ", 1)
            package_of[name] = packages.split(", ")
    found = {}
    for path in paths:
        name = next((name for name in names[path] if name in package_of),
                    None)
        if name is None and unknown is not None:
            fail(unknown % path)
        found[path] = package_of[name] if name else []
    return found


def package_fields(package):
    """Version, source package, source version and Built-Using of an
    installed PACKAGE (PACKAGE:ARCH)."""
    query = subprocess.run(
        ["dpkg-query", "-W", "-f",
         "${Version}\t${source:Package}\t${source:Version}\t${Built-Using}",
         package], stdout=subprocess.PIPE, text=True, check=True)
    return query.stdout.split("\t")


def notice_text(package, parts):
    """What of PACKAGE's copyright file THIRD-PARTY.txt reproduces."""
    path = DOC % package
    try:
        with open(path, encoding="utf-8") as f:
            text = f.read()
    except OSError as error:
        fail("%s: %s" % (path, error.strerror))
    lines = text.rstrip("\n").split("\n")
    pieces = []
    for part in parts:
        if isinstance(part, Whole):
            pieces.append("\n".join(lines))
        elif isinstance(part, Lines):
            start = next((i for i, line in enumerate(lines)
                          if line.startswith(part.first)), None)
            end = None if start is None else next(
                (i for i in range(start, len(lines))
                 if lines[i].startswith(part.last)), None)
            if end is None:
                fail("%s no longer has lines from %r to %r"
                     % (path, part.first, part.last))
            pieces.append("\n".join(lines[start:end + 1]))
        else:
            chosen, licences = [], set()
            for paragraph in re.split(r"\n[ \t]*\n", "\n".join(lines)):
                field = re.search(r"^License: *(.*)$", paragraph, re.M)
                if field and field.group(1) in part.licences:
                    chosen.append(paragraph)
                    licences.add(field.group(1))
            missing = [name for name in part.licences if name not in licences]
            if missing:
                fail("%s has no paragraph under the licence %s"
                     % (path, ", ".join(missing)))
            pieces += chosen
    return "\n\n".join(pieces) + "\n"


def third_party(link_map, build_dir, program, platform, version):
    inputs, taken = read_map(link_map, os.path.abspath(build_dir))
    found = owners(sorted(inputs), "the link read %s, which no Debian "
                   "package ships, so that its licence is unknown")
    unknown = sorted({"%s (%s)" % (bare(package), path)
                      for path, packages in found.items()
                      for package in packages
                      if bare(package) not in PACKAGES})
    if unknown:
        fail("the link read files of packages that PACKAGES in "
             "tools/third_party.py does not know: %s. Add each with what it "
             "is, its licence and the notices its licence asks to reproduce."
             % "; ".join(unknown))

    files = collections.defaultdict(set)
    for path in taken:
        for package in found[path]:
            files[package].add(os.path.basename(path))
    names = sorted(files, key=bare)

    title = "Third-party software in inifixer %s for %s" % (version, platform)
    out = [underlined(title, "="), "\n",
           wrap("inifixer is linked statically: besides inifixer's own code "
                "(MIT licence, see LICENSE.txt), the executable %s holds code "
                "from the libraries below, each named by the Debian package "
                "it was linked from and that package's version." % program),
           "\n"]
    versions = {}
    for package in names:
        name, entry = bare(package), PACKAGES[bare(package)]
        versions[package] = package_fields(package)
        out.append(wrap("%s %s: %s; %s" % (name, versions[package][0],
                                           entry.name, entry.spdx),
                        "- ", "  "))
    texts = []
    notices = {}
    for package in names:
        name, entry = bare(package), PACKAGES[bare(package)]
        package_version, source, source_version, built_using = \
            versions[package]
        out += ["\n\n", underlined("%s %s" % (name, package_version), "-"),
                "\n",
                wrap("What: " + entry.what), "\n",
                wrap("Licence: %s. %s" % (entry.spdx, entry.licence)), "\n",
                wrap("Linked from: " + ", ".join(sorted(files[package]))),
                "\n"]
        where = ("Source: Debian's source package %s, version %s"
                 % (source, source_version))
        sources = ["%s=%s" % (source, source_version)]
        # A package built with the source of another one names it in
        # Built-Using: "gcc-12 (= 12.2.0-14+deb12u1)".
        for used, used_version in re.findall(r"(\S+) \(= ([^)]*)\)",
                                             built_using):
            where += ", built with the source of %s %s" % (used, used_version)
            sources.append("%s=%s" % (used, used_version))
        out += [wrap(where + ". On Debian this fetches it, and Debian's "
                     "snapshot archive keeps it:"), "\n",
                "    apt-get source %s\n" % " ".join(sources), "\n"]
        if entry.relink:
            out += [underlined("Relinking with a changed library", "~"),
                    "\n", RELINK.format(version=version),
                    "\n"]
        text = notice_text(name, entry.notice)
        if text in notices:
            out.append("Notice: the same as for %s above.\n" % notices[text])
        else:
            notices[text] = name
            out += ["Notice, from Debian's %s:\n" % (DOC % name), "\n", text]
        texts += [t for t in entry.texts if t not in texts]
    for licence, title in texts:
        with open(LICENSES + licence, encoding="utf-8") as f:
            out += ["\n\n", underlined(title, "="), "\n", f.read()]
    return "".join(out)


def main():
    parser = argparse.ArgumentParser()
    for option in ("map", "build-dir", "program", "platform", "version",
                   "out"):
        parser.add_argument("--" + option, required=True)
    args = parser.parse_args()
    text = third_party(args.map, args.build_dir, args.program,
                       args.platform, args.version)
    with open(args.out + ".part", "w", encoding="utf-8", newline="\n") as f:
        f.write(text)
    os.replace(args.out + ".part", args.out)


if __name__ == "__main__":
    main()
