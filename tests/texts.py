#!/usr/bin/env python3
"""The tool's fixed texts (texts.txt beside this file), as bytes.

  texts.py NAME [VALUE...]   writes the text NAME, with the VALUEs in the
                             places of its {}, to standard output

As a module: TEXTS maps each name to its text, fill(NAME, VALUE...) fills in
the values (bytes, str or numbers).
"""
import sys
from pathlib import Path


def _load():
    texts = {}
    for line in (Path(__file__).parent / "texts.txt").read_text(
            encoding="utf-8").splitlines():
        if line and not line.startswith("#"):
            name, text = line.split("\t", 1)
            texts[name] = text.replace("\\n", "\n").encode()
    return texts


TEXTS = _load()


def fill(name, *values):
    parts = TEXTS[name].split(b"{}")
    if len(parts) != len(values) + 1:
        raise ValueError("%s takes %d values" % (name, len(parts) - 1))
    out = parts[0]
    for value, part in zip(values, parts[1:]):
        out += (value if isinstance(value, bytes) else str(value).encode()) + part
    return out


if __name__ == "__main__":
    sys.stdout.buffer.write(fill(sys.argv[1], *sys.argv[2:]))
