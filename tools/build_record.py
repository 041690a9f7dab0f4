#!/usr/bin/env python3
"""Writes the record of a release build, after the model of Debian's
.buildinfo files: the version and its date, the source it came from (the git
commit, when built in a checkout), the machine's Debian release and
architecture, the packages' SHA-256, and the exact Debian package and version
of every file that made their bytes.

  build_record.py --version X.Y.Z --date YYYY-MM-DD --source-dir . \\
                  --build-dir build-win32 --build-dir build-linux \\
                  --package dist/inifixer-X.Y.Z-win32.zip ... \\
                  --out dist/inifixer-X.Y.Z.buildinfo

The files are found, not listed by hand: for each build directory, the
programs its configuration names (the compiler driver, and what it runs:
cc1plus, as, ld, collect2; windres and the preprocessor it runs; strip),
with the shared libraries they load; every header the compiler read (its
dependency files, *.o.d and *.obj.d); every file the link read (the linker's
map, inifixer.map); then CMake with its modules, this Python with the
modules that write the packages and the libraries it loads, dpkg-query, and
the licence texts and copyright files that THIRD-PARTY.txt is made from. Each
is mapped to its package with dpkg-query -S. A file of no package (a CMake
in /opt, say) is named in Outside-Packages by its path and, for a program,
the first line of its own --version, for any other file its SHA-256.

  build_record.py --compare RELEASE_RECORD REBUILD_RECORD

prints the packages whose versions differ between two records (or that only
one has), and the files of no package that differ likewise, and exits 1 if
there are any.
"""
import argparse
import glob
import hashlib
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import third_party  # noqa: E402  (read_map, owners, PACKAGES)

FIELD = "Installed-Build-Depends"
OUTSIDE = "Outside-Packages"


def fail(message):
    sys.exit("build_record.py: " + message)


def run(command):
    return subprocess.run(command, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, text=True).stdout


def cmake_setting(build_dir, name):
    """A setting of CMake's compiler files (CMakeFiles/VERSION/*.cmake),
    where a toolchain file's compilers end up, or of CMakeCache.txt."""
    pattern = re.compile(r'^set\(%s "([^"]*)"\)$' % re.escape(name), re.M)
    for path in sorted(glob.glob(os.path.join(build_dir, "CMakeFiles", "*",
                                              "CMake*Compiler.cmake"))):
        with open(path, encoding="utf-8") as f:
            found = pattern.search(f.read())
        if found and found.group(1):
            return found.group(1)
    cache = re.compile(r"^%s:[A-Z]+=(.*)$" % re.escape(name), re.M)
    with open(os.path.join(build_dir, "CMakeCache.txt"), encoding="utf-8") as f:
        found = cache.search(f.read())
    return found.group(1) if found and found.group(1) else None


def program(name):
    """NAME as a path: as given when it has a slash, else found on PATH."""
    path = name if "/" in name else shutil.which(name)
    if not path or not os.path.exists(path):
        fail("cannot find the program %s" % name)
    return os.path.realpath(path)


def programs_of(build_dir):
    """The programs that built BUILD_DIR's executable."""
    driver = cmake_setting(build_dir, "CMAKE_CXX_COMPILER")
    if not driver:
        fail("%s names no C++ compiler" % build_dir)
    found = [program(driver)]
    # What the driver runs: given by name only when it would be found on
    # PATH, as for as and ld.
    for name in ("cc1plus", "cc1", "collect2", "as", "ld"):
        found.append(program(run([driver, "-print-prog-name=" + name]).strip()))
    for setting in ("CMAKE_RC_COMPILER", "CMAKE_STRIP"):
        tool = cmake_setting(build_dir, setting)
        if tool:
            found.append(program(tool))
    windres = cmake_setting(build_dir, "CMAKE_RC_COMPILER")
    if windres:
        # windres preprocesses the resources with the C driver of its
        # prefix (i686-w64-mingw32-gcc), which runs cc1.
        cc = os.path.basename(windres).replace("windres", "gcc")
        found += [program(cc), program(run([cc, "-print-prog-name=cc1"]).strip())]
    return found


def shared_libraries(programs):
    """The shared libraries that PROGRAMS load (ldd), as paths."""
    libraries = set()
    for path in programs:
        for line in run(["ldd", path]).splitlines():
            found = re.search(r"(?:=> )?(/\S+) \(0x", line)
            if found:
                libraries.add(os.path.realpath(found.group(1)))
    return libraries


def depfile_words(text):
    """The prerequisites of the rules of a dependency file as GCC writes
    them: a space or tab in a name preceded by a backslash (and the
    backslashes before it doubled), a "#" by a backslash, a "$" doubled."""
    words = []
    for word in re.findall(r"(?:\\.|[^\s\\])+", text.replace("\\\n", " ")):
        if word.endswith(":"):
            continue  # the rule's target
        word = re.sub(r"(\\+)([ \t])", lambda escaped: "\\" * (
            len(escaped.group(1)) // 2) + escaped.group(2), word)
        words.append(word.replace("\\#", "#").replace("$$", "$"))
    return words


def depfile_headers(build_dir):
    """Every file the compiler read, by its dependency files."""
    files = set()
    for pattern in ("**/*.o.d", "**/*.obj.d"):
        for path in glob.glob(os.path.join(build_dir, "CMakeFiles", pattern),
                              recursive=True):
            with open(path, encoding="utf-8", errors="surrogateescape") as f:
                words = depfile_words(f.read())
            files.update(os.path.normpath(os.path.join(build_dir, word))
                         for word in words)
    if not files:
        fail("%s has no dependency files of the compiler" % build_dir)
    return files


def map_inputs(build_dir):
    """Every file outside BUILD_DIR that the link read."""
    inputs, _ = third_party.read_map(
        os.path.join(build_dir, "inifixer.map"), os.path.abspath(build_dir))
    return inputs


def python_files():
    """This Python, the modules that write the packages and the libraries it
    loads (zlib compresses the zip and the tarball)."""
    import gzip, tarfile, zipfile, zlib  # noqa: E401,F401
    files = {os.path.realpath(sys.executable)}
    for module in (gzip, tarfile, zipfile, zlib):
        if getattr(module, "__file__", None):
            files.add(os.path.realpath(module.__file__))
    return files | shared_libraries(files)


def cmake_files(build_dir):
    """The cmake that configured BUILD_DIR, and the modules of its own that
    give the flags of the build type (-O3 ...)."""
    root = cmake_setting(build_dir, "CMAKE_ROOT")
    return program(cmake_setting(build_dir, "CMAKE_COMMAND") or "cmake"), {
        os.path.join(root, name) for name in (
            "Modules/Compiler/GNU.cmake", "Modules/CMakeCXXInformation.cmake")}


def notice_files():
    """What THIRD-PARTY.txt is made from besides the copyright files of the
    packages linked, which are recorded by their libraries: the licence
    texts and dpkg-query."""
    files = {program("dpkg-query")}
    for _, entry in third_party.PACKAGES.items():
        for licence, _title in entry.texts:
            files.add(third_party.LICENSES + licence)
    return files


def owners(paths, skip):
    """The packages (NAME or NAME:ARCH) of PATHS outside SKIP, and those of
    PATHS that no package ships."""
    paths = sorted(path for path in paths
                   if not any(os.path.commonpath([path, top]) == top
                              for top in skip))
    found = third_party.owners(paths, None)
    return ({packages[0] for packages in found.values() if packages},
            [path for path in paths if not found[path]])


def outside(paths, programs):
    """PATH: WHAT for each file of no package: a program by the first line
    of its own --version, any other file by its SHA-256."""
    lines = []
    for path in paths:
        if path in programs:
            try:
                said = subprocess.run([path, "--version"],
                                      stdin=subprocess.DEVNULL,
                                      stdout=subprocess.PIPE,
                                      stderr=subprocess.STDOUT, text=True,
                                      errors="replace", timeout=30).stdout
            except (OSError, subprocess.TimeoutExpired) as error:
                fail("%s, of no Debian package, does not tell its version: %s"
                     % (path, error))
            first = said.strip().split("\n")[0].strip()
            if not first:
                fail("%s, of no Debian package, prints no --version" % path)
            what = first
        else:
            with open(path, "rb") as f:
                what = "sha256 " + hashlib.sha256(f.read()).hexdigest()
        lines.append("%s: %s" % (path, what))
    return lines


def versions(packages):
    """NAME (= VERSION) for each package, the architecture kept where it is
    not the machine's own (libc6:i386)."""
    native = run(["dpkg", "--print-architecture"]).strip()
    lines = []
    for line in run(["dpkg-query", "-W", "-f",
                     "${binary:Package}\t${Architecture}\t${Version}\n"] +
                    sorted(packages)).splitlines():
        name, arch, version = line.split("\t")
        if arch in (native, "all"):
            name = name.split(":")[0]
        lines.append("%s (= %s)" % (name, version))
    return sorted(set(lines))


def source_line(source_dir):
    if not shutil.which("git"):
        return "none: git is not installed"
    commit = run(["git", "-C", source_dir, "rev-parse", "HEAD"]).strip()
    if not commit:
        return "none: not built in a git checkout"
    changed = run(["git", "-C", source_dir, "status", "--porcelain",
                   "--untracked-files=no"]).strip()
    return commit + (" with uncommitted changes" if changed else "")


def os_release():
    try:
        with open("/etc/os-release", encoding="utf-8") as f:
            found = re.search(r'^PRETTY_NAME="?([^"\n]*)"?$', f.read(), re.M)
    except OSError:
        found = None
    return found.group(1) if found else "unknown"


def record(args):
    files, builds = set(), [os.path.abspath(d) for d in args.build_dir]
    programs, cmakes = set(), set()
    for build_dir in builds:
        programs.update(programs_of(build_dir))
        files |= depfile_headers(build_dir) | map_inputs(build_dir)
        cmake, modules = cmake_files(build_dir)
        cmakes.add(cmake)
        files |= modules
    files |= programs | shared_libraries(programs) | cmakes
    files |= python_files() | notice_files()
    packages, unowned = owners(files,
                               [os.path.abspath(args.source_dir)] + builds)

    out = ["Format: inifixer build record 1",
           "Source: inifixer",
           "Version: " + args.version,
           "Release-Date: " + args.date,
           "Git-Commit: " + source_line(args.source_dir),
           "Build-Origin: " + os_release(),
           "Build-Architecture: " + run(["dpkg", "--print-architecture"]).strip(),
           "Checksums-Sha256:"]
    for path in args.package:
        with open(path, "rb") as f:
            data = f.read()
        out.append(" %s %d %s" % (hashlib.sha256(data).hexdigest(), len(data),
                                  os.path.basename(path)))
    out.append(FIELD + ":")
    lines = versions(packages)
    out += [" %s%s" % (line, "," if i < len(lines) - 1 else "")
            for i, line in enumerate(lines)]
    if unowned:
        out.append(OUTSIDE + ":")
        out += [" " + line for line in outside(unowned, programs | cmakes)]
    with open(args.out + ".part", "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(out) + "\n")
    os.replace(args.out + ".part", args.out)


def installed(path):
    """PACKAGE -> VERSION of a record's Installed-Build-Depends, and PATH ->
    WHAT of its Outside-Packages."""
    with open(path, encoding="utf-8") as f:
        text = f.read()
    block = re.search(r"^%s:\n((?: .*\n)*)" % FIELD, text, re.M)
    if not block:
        fail("%s has no %s" % (path, FIELD))
    found = dict(re.findall(r"^ (\S+) \(= ([^)]*)\)", block.group(1), re.M))
    block = re.search(r"^%s:\n((?: .*\n)*)" % OUTSIDE, text, re.M)
    if block:
        found.update(re.findall(r"^ (/.*?): (.*)$", block.group(1), re.M))
    return found


def compare(release, rebuild):
    first, second = installed(release), installed(rebuild)
    differ = []
    for package in sorted(set(first) | set(second)):
        if first.get(package) != second.get(package):
            differ.append("%s: %s in the release, %s in this build" % (
                package, first.get(package, "not used"),
                second.get(package, "not used")))
    for line in differ:
        print(line)
    return 1 if differ else 0


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--compare":
        sys.exit(compare(sys.argv[2], sys.argv[3]))
    parser = argparse.ArgumentParser()
    for option in ("version", "date", "source-dir", "out"):
        parser.add_argument("--" + option, required=True)
    parser.add_argument("--build-dir", action="append", required=True)
    parser.add_argument("--package", action="append", required=True)
    record(parser.parse_args())


if __name__ == "__main__":
    main()
