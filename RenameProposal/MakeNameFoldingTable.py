#!/usr/bin/env python3
"""Writes RenameProposal/NameFoldingTable.inc: for the letters of the Latin, Greek and Cyrillic
blocks that carry accents or other marks, or that have a lower-case form, the text they fold to
when names are compared with marks and letter case set aside (NameFolding.hpp).

A letter folds to its compatibility decomposition (NFKD) without the combining marks, in lower
case (é, É and E all fold to e; Ǆ to dz). Letters whose marks are part of the letter and do not
decompose (ø, ł, đ, ħ, ŧ, ı) and the ligatures and letters that stand for two (ß, æ, œ, ĳ, þ) are
listed by hand below. Only letters whose folded form differs from themselves are written.

    python3 RenameProposal/MakeNameFoldingTable.py     # writes RenameProposal/NameFoldingTable.inc
"""
import pathlib
import unicodedata

HERE = pathlib.Path(__file__).resolve().parent
OUTPUT = HERE / "NameFoldingTable.inc"

BLOCKS = [
    (0x00C0, 0x024F),  # Latin-1 Supplement letters, Latin Extended-A and -B
    (0x0370, 0x03FF),  # Greek
    (0x0400, 0x04FF),  # Cyrillic
    (0x1E00, 0x1EFF),  # Latin Extended Additional
]

BY_HAND = {
    "ß": "ss", "ẞ": "ss", "æ": "ae", "Æ": "ae", "œ": "oe", "Œ": "oe", "ĳ": "ij", "Ĳ": "ij",
    "þ": "th", "Þ": "th", "ð": "d", "Ð": "d", "ø": "o", "Ø": "o", "ł": "l", "Ł": "l",
    "đ": "d", "Đ": "d", "ħ": "h", "Ħ": "h", "ŧ": "t", "Ŧ": "t", "ı": "i",
}


def fold(character):
    if character in BY_HAND:
        return BY_HAND[character]
    decomposed = unicodedata.normalize("NFKD", character)
    bare = "".join(c for c in decomposed if not unicodedata.category(c).startswith("M"))
    bare = "".join(BY_HAND.get(c, c) for c in bare.lower())
    return bare


def c_string(text):
    # Octal escapes: they end after three digits, whatever follows.
    return '"' + "".join("\\%03o" % b if b >= 0x80 or b < 0x20 else chr(b) for b in text.encode("utf-8")) + '"'


def main():
    rows = []
    for first, last in BLOCKS:
        for code in range(first, last + 1):
            character = chr(code)
            if unicodedata.category(character)[0] != "L":
                continue
            folded = fold(character)
            if folded and folded != character:
                rows.append("    {0x%04X, %s},  // %s" % (code, c_string(folded), unicodedata.name(character, "?")))
    text = ("// Written by RenameProposal/MakeNameFoldingTable.py (Unicode %s); do not edit.\n"
            "// Code point, then the UTF-8 text it folds to; by code point.\n" % unicodedata.unidata_version)
    text += "\n".join(rows) + "\n"
    OUTPUT.write_text(text, encoding="utf-8")


if __name__ == "__main__":
    main()
