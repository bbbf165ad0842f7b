#!/usr/bin/env python3
"""Builds the module's resources from ModuleResources.txt.

  MakeResources.py DESCRIPTION --posix BLOB       the resource section contents (README.md)
  MakeResources.py DESCRIPTION --windows RCFILE --version X.Y.Z
                                                  a windres script, with the binary inputs it
                                                  names written next to it

Both outputs carry the same bytes for every resource: string and word lists, icon images, and
icon group directories whose image numbers are assigned as windres assigns them (1, 2, ... in the
order of the ICON statements and their images). The version resource is Windows' own and goes
into the windres script only; its numbers are the --version given. Only the standard library is
used.
"""

import argparse
import os
import struct
import sys
import zlib

RT_ICON = 3
RT_GROUP_ICON = 14

BLOB_MAGIC = b"QMRS"
BLOB_VERSION = 1
BLOB_HEADER = struct.Struct("<4sIII")   # magic, version, entry count, blob size
BLOB_ENTRY = struct.Struct("<IIIIII")   # type name offset, type id, name offset, name id, data offset, size

# The texts of the version resource that the build fills in from the project's version.
VERSION_TEXTS_FROM_VERSION = ("FileVersion", "ProductVersion")


class DescriptionError(Exception):
    pass


class Resource:
    def __init__(self, kind, name, line):
        self.kind = kind          # "ICON", "VERSION" or a custom type name
        self.name = name          # int or str
        self.line = line
        self.items = []           # bytes of each string item
        self.words = []
        self.images = []          # (format, path)
        self.texts = []           # (key, text) of a version resource


def parse_text(text, where):
    """The bytes of a quoted text with its escapes resolved (UTF-8)."""
    if len(text) < 2 or text[0] != '"' or text[-1] != '"':
        raise DescriptionError(f"{where}: expected a quoted text")
    body = text[1:-1]
    out = bytearray()
    i = 0
    while i < len(body):
        c = body[i]
        if c == '"':
            raise DescriptionError(f"{where}: unescaped quote inside a text")
        if c != "\\":
            out += c.encode("utf-8")
            i += 1
            continue
        if i + 1 >= len(body):
            raise DescriptionError(f"{where}: text ends in a lone backslash")
        e = body[i + 1]
        if e in '"\\':
            out += e.encode()
            i += 2
        elif e == "n":
            out += b"\n"
            i += 2
        elif e == "x":
            digits = body[i + 2:i + 4]
            if len(digits) != 2 or not all(h in "0123456789abcdefABCDEF" for h in digits):
                raise DescriptionError(f"{where}: \\x takes two hexadecimal digits")
            out.append(int(digits, 16))
            i += 4
        else:
            raise DescriptionError(f"{where}: unknown escape \\{e}")
    if 0 in out:
        raise DescriptionError(f"{where}: a text may not contain NUL")
    return bytes(out)


def parse_name(token, where):
    if token.startswith('"'):
        name = parse_text(token, where).decode("utf-8")
        if not name or not all(0x20 < ord(c) < 0x7F for c in name):
            raise DescriptionError(f"{where}: a resource name is printable ASCII without blanks")
        return name.upper()
    try:
        number = int(token, 0)
    except ValueError:
        raise DescriptionError(f"{where}: a resource name is a number or a quoted name") from None
    if not 1 <= number <= 0xFFFF:
        raise DescriptionError(f"{where}: resource number {number} out of 1..65535")
    return number


def parse_description(path):
    resources = []
    current = None
    with open(path, encoding="utf-8") as source:
        for number, raw in enumerate(source, 1):
            where = f"{path}:{number}"
            line = raw.rstrip("\n").rstrip()
            stripped = line.strip()
            if not stripped or stripped.startswith("#"):
                continue
            if not line[0].isspace():
                kind, _, rest = stripped.partition(" ")
                if not kind.isalpha() or not kind.isupper():
                    raise DescriptionError(f"{where}: a resource type is written in capital letters")
                current = Resource(kind, parse_name(rest.strip(), where), number)
                if any(r.kind == current.kind and r.name == current.name for r in resources):
                    raise DescriptionError(f"{where}: {kind} {rest.strip()} is described twice")
                resources.append(current)
                continue
            if current is None:
                raise DescriptionError(f"{where}: content before the first resource")
            keyword, _, rest = stripped.partition(" ")
            rest = rest.strip()
            if keyword == "item" and current.kind not in ("ICON", "VERSION"):
                current.items.append(parse_text(rest, where))
            elif keyword == "words" and current.kind not in ("ICON", "VERSION"):
                try:
                    current.words += [int(w, 0) for w in rest.split()]
                except ValueError:
                    raise DescriptionError(f"{where}: words are numbers") from None
                if not rest or any(not 0 <= w <= 0xFFFFFFFF for w in current.words):
                    raise DescriptionError(f"{where}: words are 32-bit numbers")
            elif keyword in ("png", "dib") and current.kind == "ICON":
                current.images.append((keyword, os.path.join(os.path.dirname(path), rest)))
            elif keyword == "text" and current.kind == "VERSION":
                current.texts.append(parse_version_text(rest, current, where))
            else:
                raise DescriptionError(f"{where}: '{keyword}' does not belong in a {current.kind} resource")
    for r in resources:
        where = f"{path}:{r.line}"
        if r.kind == "ICON" and not r.images:
            raise DescriptionError(f"{where}: an icon group needs at least one image")
        if r.kind == "VERSION":
            if r.name != 1:
                raise DescriptionError(f"{where}: the version resource is VERSION 1")
            if not r.texts:
                raise DescriptionError(f"{where}: a version resource needs at least one text")
        elif r.kind != "ICON" and bool(r.items) == bool(r.words):
            raise DescriptionError(f"{where}: a {r.kind} resource holds either items or words")
    return resources


def parse_version_text(rest, resource, where):
    """(key, text) of a version resource's line 'text Key "text"'. Both are printable ASCII: the
    windres script is."""
    key, _, text = rest.partition(" ")
    if not key.isascii() or not key.isalnum():
        raise DescriptionError(f"{where}: a version text's key is a word of ASCII letters and digits")
    if key in VERSION_TEXTS_FROM_VERSION:
        raise DescriptionError(f"{where}: {key} comes from the project's version")
    if any(key == known for known, _ in resource.texts):
        raise DescriptionError(f"{where}: {key} is given twice")
    value = parse_text(text.strip(), where).decode("utf-8")
    if not all(0x20 <= ord(c) < 0x7F for c in value):
        raise DescriptionError(f"{where}: a version text is printable ASCII")
    return key, value


def parse_version(text):
    """The four 16-bit numbers of a version "A[.B[.C[.D]]]", missing ones 0."""
    parts = text.split(".")
    if not 1 <= len(parts) <= 4 or not all(p.isascii() and p.isdigit() and int(p) <= 0xFFFF for p in parts):
        raise DescriptionError(f"version '{text}' is not one to four numbers 0..65535 joined by dots")
    return [int(p) for p in parts] + [0] * (4 - len(parts))


def counted(payload):
    """A 32-bit little-endian byte count, then the payload."""
    return struct.pack("<I", len(payload)) + payload


def list_bytes(resource):
    if resource.items:
        return counted(b"".join(item + b"\0" for item in resource.items))
    return counted(b"".join(struct.pack("<I", w) for w in resource.words))


def read_png(path):
    """Width, height and straight-alpha RGBA rows of an 8-bit RGBA, non-interlaced PNG."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise DescriptionError(f"{path}: not a PNG file")
    pos, idat, header = 8, b"", None
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
        pos += 12 + length
    if header is None or header[2:] != (8, 6, 0, 0, 0):
        raise DescriptionError(f"{path}: icon images are 8-bit RGBA PNGs without interlacing")
    width, height = header[0], header[1]
    raw = zlib.decompress(idat)
    stride = width * 4
    rows, previous = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind = raw[start]
        row = bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            a = row[i - 4] if i >= 4 else 0
            b = previous[i]
            c = previous[i - 4] if i >= 4 else 0
            if kind == 1:
                row[i] = (row[i] + a) & 0xFF
            elif kind == 2:
                row[i] = (row[i] + b) & 0xFF
            elif kind == 3:
                row[i] = (row[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                row[i] = (row[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
            elif kind != 0:
                raise DescriptionError(f"{path}: unknown PNG filter {kind}")
        rows.append(bytes(row))
        previous = row
    return width, height, rows


def image_bytes(image):
    """(width, height, bytes) of one icon image as stored in the resources."""
    form, path = image
    width, height, rows = read_png(path)
    if not (1 <= width <= 256 and 1 <= height <= 256):
        raise DescriptionError(f"{path}: icon images are 1 to 256 pixels wide and high")
    if form == "png":
        with open(path, "rb") as f:
            return width, height, f.read()
    # A 32-bit bitmap: header, BGRA pixels bottom-up, then the 1-bit mask (1 = transparent), rows
    # padded to 32 bits. The header's height counts both the pixels and the mask.
    mask_stride = ((width + 31) // 32) * 4
    pixels, mask = bytearray(), bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x in range(width):
            r, g, b, a = row[4 * x:4 * x + 4]
            pixels += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, width, 2 * height, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return width, height, header + bytes(pixels) + bytes(mask)


def icon_directory(entries, entry_tail):
    """An icon directory: header, then per image width, height (0 for 256), colours, reserved,
    planes 1, 32 bits per pixel, byte size and `entry_tail` (the file offset or the image number)."""
    out = struct.pack("<HHH", 0, 1, len(entries))
    for (width, height, data), tail in zip(entries, entry_tail):
        out += struct.pack("<BBBBHHI", width % 256, height % 256, 0, 0, 1, 32, len(data)) + tail
    return out


def build(resources):
    """(type, name, bytes) of every resource, icon images included, in windres numbering."""
    built = []
    next_icon = 1
    for r in resources:
        if r.kind == "VERSION":
            continue
        if r.kind != "ICON":
            built.append((r.kind, r.name, list_bytes(r)))
            continue
        images = [image_bytes(image) for image in r.images]
        numbers = list(range(next_icon, next_icon + len(images)))
        next_icon += len(images)
        built.append((RT_GROUP_ICON, r.name, icon_directory(images, [struct.pack("<H", n) for n in numbers])))
        built += [(RT_ICON, n, image[2]) for n, image in zip(numbers, images)]
    return built


def write_blob(built, path):
    names = bytearray()
    name_offsets = {}
    table_end = BLOB_HEADER.size + BLOB_ENTRY.size * len(built)

    def name_offset(value):
        if isinstance(value, int):
            return 0, value
        if value not in name_offsets:
            name_offsets[value] = table_end + len(names)
            names.extend(value.encode("ascii") + b"\0")
        return name_offsets[value], 0

    keys = [(name_offset(kind), name_offset(name)) for kind, name, _ in built]
    data = bytearray()
    data_start = (table_end + len(names) + 7) & ~7
    entries = bytearray()
    for ((type_off, type_id), (name_off, name_id)), (_, _, payload) in zip(keys, built):
        entries += BLOB_ENTRY.pack(type_off, type_id, name_off, name_id, data_start + len(data), len(payload))
        data += payload
        data += bytes(-len(data) % 8)
    blob = bytearray(BLOB_HEADER.pack(BLOB_MAGIC, BLOB_VERSION, len(built), 0))
    blob += entries + names
    blob += bytes(data_start - len(blob)) + data
    struct.pack_into("<I", blob, 12, len(blob))
    with open(path, "wb") as out:
        out.write(blob)


def rc_string(text):
    """A windres string literal of printable ASCII."""
    return '"' + text.replace("\\", "\\\\").replace('"', '""') + '"'


def version_statement(resource, version):
    """A VERSIONINFO statement: the numbers of `version`, a DLL for Windows NT, and the texts in
    US English with Unicode strings (translation 0409, code page 1200)."""
    numbers = ",".join(str(n) for n in parse_version(version))
    texts = resource.texts + [(key, version) for key in VERSION_TEXTS_FROM_VERSION]
    return "\n".join([
        f"{resource.name} VERSIONINFO",
        f"FILEVERSION {numbers}",
        f"PRODUCTVERSION {numbers}",
        "FILEFLAGSMASK 0x3F",
        "FILEFLAGS 0x0",
        "FILEOS 0x40004",      # VOS_NT_WINDOWS32
        "FILETYPE 0x2",        # VFT_DLL
        "FILESUBTYPE 0x0",
        "BEGIN",
        '  BLOCK "StringFileInfo"',
        "  BEGIN",
        '    BLOCK "040904B0"',
        "    BEGIN",
        *[f"      VALUE {rc_string(key)}, {rc_string(text)}" for key, text in texts],
        "    END",
        "  END",
        '  BLOCK "VarFileInfo"',
        "  BEGIN",
        '    VALUE "Translation", 0x409, 1200',
        "  END",
        "END",
    ])


def write_rc(resources, path, version):
    """A windres script naming binary files written next to it. windres joins a quoted file name
    with a quoted resource name on the next line and refuses unquoted absolute paths, so the files
    go by bare names: windres must be given the script's folder as an include folder (-I)."""
    folder = os.path.dirname(os.path.abspath(path))
    os.makedirs(folder, exist_ok=True)
    lines = ["// Generated by MakeResources.py from ModuleResources.txt; do not edit."]
    for index, r in enumerate(resources):
        name = str(r.name) if isinstance(r.name, int) else '"' + r.name + '"'
        if r.kind == "VERSION":
            if version is None:
                raise DescriptionError("the version resource needs the project's version (--version)")
            lines.append(version_statement(r, version))
            continue
        if r.kind == "ICON":
            images = [image_bytes(image) for image in r.images]
            file = f"QuillmereResource{index}.ico"
            offsets, offset = [], 6 + 16 * len(images)
            for image in images:
                offsets.append(struct.pack("<I", offset))
                offset += len(image[2])
            content = icon_directory(images, offsets) + b"".join(image[2] for image in images)
            lines.append(f"{name} ICON {file}")
        else:
            file = f"QuillmereResource{index}.bin"
            content = list_bytes(r)
            lines.append(f"{name} {r.kind} {file}")
        with open(os.path.join(folder, file), "wb") as out:
            out.write(content)
    with open(path, "w", encoding="ascii", newline="\n") as out:
        out.write("\n".join(lines) + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("description")
    target = parser.add_mutually_exclusive_group(required=True)
    target.add_argument("--posix", metavar="BLOB")
    target.add_argument("--windows", metavar="RCFILE")
    parser.add_argument("--version", help="the project's version, A[.B[.C[.D]]], for the version resource")
    args = parser.parse_args()
    try:
        resources = parse_description(args.description)
        if args.posix:
            write_blob(build(resources), args.posix)
        else:
            write_rc(resources, args.windows, args.version)
    except (DescriptionError, OSError, zlib.error) as failure:
        print(f"MakeResources.py: {failure}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
