#!/usr/bin/env python3
"""Keeps the list of the command's texts and the user's pages on its report lines in step with
Src/Common/Messages.hpp.

Reading Messages.hpp. The header declares every text the command shows, in sections that begin
with a line "// --- TITLE ---". A text is `constexpr const char* Name = "text";`, the text possibly
made of several adjacent string literals over several lines, or `#define QM_DIALOG_NAME "text"`.
The comment lines right above a declaration are its description. A declaration without comment
lines of its own that follows another one directly (no blank line between) shares the description
of the first declaration of that run, as "UnreadableBackupEmpty" shares "UnreadableBackupLine"'s
(the list says so rather than repeat it).
A declaration with no description at all fails the check: every text says when it appears.

Which texts are report lines. The section decides, not the name:
- the texts of the sections of the undoable steps, of the file dialog and of the completion alert
  (titles that name "undoable steps", "file dialog" or "completion alert") are not;
- the section "Host formats" holds the host's formats: each must end in ": %d" (the host writes
  its error code there), or the check fails;
- every other section holds finished lines and the parts that go into their "{}" (reasons such as
  NotDefinedReason, UnreadableBackupEmpty, the targets RenameTarget...): texts the report window
  shows, whole or within a line; none may hold "%d", which a finished line would show as it stands.
So a new section is taken as report lines until its title says otherwise, and must be documented.

Each report text must appear in docs/report-lines.md and in packaging/INSTALL.txt as a whole: in
the Markdown page as a code span (`...`, outside fenced code blocks), in the install note as a line
beginning with "> " or as consecutive such lines (a long line wrapped). "{}" and "%d" match any
text of at least one character, so that the pages can show placeholders (GROUP, PATH, N, CODE);
runs of white space compare as one blank.

docs/messages.md is the generated developer's list (section, name, text, when it appears).

Usage: Tools/check-messages.py [--write] [--root DIR]
  (no option)  check that docs/messages.md is what Messages.hpp gives, and that every report text is
               in docs/report-lines.md and packaging/INSTALL.txt; exit 1, saying what is wrong,
               otherwise
  --write      write docs/messages.md anew, then check the report texts
  --root DIR   the repository to work on (default: the one holding this script)
"""
import argparse
import difflib
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
MESSAGES = pathlib.Path("Src/Common/Messages.hpp")
LIST = pathlib.Path("docs/messages.md")
USER_PAGE = pathlib.Path("docs/report-lines.md")
INSTALL_NOTE = pathlib.Path("packaging/INSTALL.txt")
WRITE_COMMAND = "Tools/check-messages.py --write"

SECTION = re.compile(r"^//\s*---\s*(.*?)\s*-*\s*$")
CONSTANT = re.compile(r"^constexpr\s+const\s+char\s*\*\s*(\w+)\s*=(.*)$")
DEFINE = re.compile(r"^#define\s+(QM_DIALOG_\w+)\s+(.*)$")
LITERAL = re.compile(r'"((?:[^"\\\n]|\\.)*)"')
ESCAPES = {"n": "\n", "t": "\t", "0": "\0", "\\": "\\", '"': '"', "'": "'"}
NOT_REPORT_TITLES = ("undoable steps", "file dialog", "completion alert")
HOST_FORMAT_TITLE = "host formats"
PLACEHOLDER = re.compile(r"(\{\}|%d)")


class Message:
    def __init__(self, section, name, text, description, shares, line):
        self.section = section
        self.name = name
        self.text = text
        self.description = description  # the comment lines, joined; empty when shared or missing
        self.shares = shares            # the first declaration of the run whose description it shares
        self.line = line

    @property
    def kind(self):
        title = self.section.lower()
        if any(word in title for word in NOT_REPORT_TITLES):
            return "other"
        return "host" if title.startswith(HOST_FORMAT_TITLE) else "finished"

    @property
    def is_report_text(self):
        return self.kind != "other"


def decode(body):
    """The text of a C string literal's body."""
    return re.sub(r"\\(.)", lambda m: ESCAPES.get(m.group(1), m.group(1)), body)


def parse_messages(text):
    """The declarations of Messages.hpp, in order, and the problems found."""
    messages, problems = [], []
    section, comment, previous = "", [], None
    lines = text.splitlines()
    index = 0
    in_namespace = False
    while index < len(lines):
        line = lines[index].strip()
        index += 1
        if line.startswith("namespace "):
            in_namespace = True
            continue
        if not in_namespace:
            continue
        heading = SECTION.match(line)
        if heading:
            section, comment, previous = heading.group(1), [], None
            continue
        if line.startswith("//"):
            comment.append(line[2:].strip())
            continue
        if not line:
            comment, previous = [], None
            continue
        constant, define = CONSTANT.match(line), DEFINE.match(line)
        if not constant and not define:
            comment, previous = [], None
            continue
        start = index
        if constant:
            name, rest = constant.group(1), constant.group(2)
            # The literals run to the ";" that ends the declaration.
            while ";" not in LITERAL.sub("", rest) and index < len(lines):
                rest += "\n" + lines[index]
                index += 1
        else:
            name, rest = define.group(1), define.group(2)
        literals = LITERAL.findall(rest)
        if not literals:
            problems.append(f"{MESSAGES}:{start}: {name} has no string literal")
            continue
        value = "".join(decode(body) for body in literals)
        if comment:
            message = Message(section, name, value, " ".join(comment), None, start)
        elif previous is not None:
            message = Message(section, name, value, "", previous.shares or previous.name, start)
        else:
            message = Message(section, name, value, "", None, start)
            problems.append(f"{MESSAGES}:{start}: {name} has no comment saying when it appears")
        messages.append(message)
        comment, previous = [], message
    if not messages:
        problems.append(f"{MESSAGES}: no declaration found")
    for message in messages:
        if message.kind == "host" and not message.text.endswith(": %d"):
            problems.append(f"{MESSAGES}:{message.line}: {message.name} is a host format but does not end in \": %d\"")
        if message.kind == "finished" and "%d" in message.text:
            problems.append(f"{MESSAGES}:{message.line}: {message.name} is a finished line but holds \"%d\"")
    return messages, problems


def shown(text):
    """A text as the list shows it: NUL as \\0, line ends as \\n."""
    return text.replace("\0", "\\0").replace("\n", "\\n")


def table_cell(text):
    return text.replace("|", "\\|").replace("<", "&lt;")


def code_cell(text):
    return "`" + shown(text).replace("|", "\\|") + "`"


def render_list(messages):
    out = [
        "# The command's texts",
        "",
        f"Generated from `{MESSAGES}` by `{WRITE_COMMAND}`; do not edit it by",
        "hand: change the header (its comments too) and run that command. `Tools/check-messages.py`",
        "without options, which `Tools/test.sh` runs, fails while this list differs from the header.",
        "",
        "In the texts \"{}\" marks where a finished line takes a value, in order, and \"%d\" where the",
        "host writes its error code. The report texts (the host formats, the finished lines and the",
        "parts that go into them) must each be listed in `docs/report-lines.md`, the users' page, and",
        "in `packaging/INSTALL.txt`, the install note; the script checks that too.",
    ]
    sections = []
    for message in messages:
        if not sections or sections[-1][0] != message.section:
            sections.append((message.section, []))
        sections[-1][1].append(message)
    for title, members in sections:
        out += ["", f"## {title}", ""]
        kind = members[0].kind
        if kind == "host":
            out += ["Report lines: host formats, passed with flag 1 and the host's error code.", ""]
        elif kind == "finished":
            out += ["Report texts: finished lines passed with flag 0, and the parts that go into them.", ""]
        out += ["| Name | Text | When it appears |", "|---|---|---|"]
        for message in members:
            if message.shares:
                when = f"(no comment of its own: see `{message.shares}` above)"
            else:
                when = message.description
            out.append(f"| `{message.name}` | {code_cell(message.text)} | {table_cell(when)} |")
    return "\n".join(out) + "\n"


def pattern_of(text):
    """A regular expression that takes a documented form of `text` whole."""
    parts = []
    for piece in PLACEHOLDER.split(text):
        if piece in ("{}", "%d"):
            parts.append(".+?")
        elif piece:
            parts.append(re.escape(collapse(piece)))
    return re.compile("".join(parts), re.DOTALL)


def collapse(text):
    return re.sub(r"\s+", " ", text)


def markdown_candidates(text):
    """The code spans of a Markdown text outside fenced code blocks, white space collapsed."""
    kept, fenced = [], False
    for line in text.splitlines():
        if line.lstrip().startswith("```"):
            fenced = not fenced
            continue
        if not fenced:
            kept.append(line)
    return {collapse(span).strip() for span in re.findall(r"`([^`]+)`", "\n".join(kept))}


def quoted_candidates(text):
    """The "> " lines of a plain text: each, and each run of consecutive ones joined by a blank."""
    candidates, run = set(), []
    for line in text.splitlines() + [""]:
        quoted = re.match(r"^\s*>(?: (.*))?$", line)
        if quoted:
            run.append(quoted.group(1) or "")
            continue
        for first in range(len(run)):
            for last in range(first, len(run)):
                candidates.add(collapse(" ".join(run[first:last + 1])).strip())
        run = []
    return candidates


def missing_in(candidates, messages):
    return [m for m in messages if m.is_report_text and not any(pattern_of(m.text).fullmatch(c) for c in candidates)]


def check_documented(root, messages):
    problems = []
    for path, read in ((USER_PAGE, markdown_candidates), (INSTALL_NOTE, quoted_candidates)):
        try:
            candidates = read((root / path).read_text(encoding="utf-8"))
        except OSError as error:
            problems.append(f"{path}: cannot be read ({error.strerror})")
            continue
        missing = missing_in(candidates, messages)
        if missing:
            how = "as a code span" if path.suffix == ".md" else 'on lines beginning with "> "'
            problems.append(f"{path} lacks {len(missing)} report text(s) ({how}):")
            problems += [f"  {m.name}: \"{shown(m.text)}\"" for m in missing]
    return problems


def check_list(root, rendered):
    try:
        current = (root / LIST).read_text(encoding="utf-8")
    except OSError:
        return [f"{LIST} is missing; run {WRITE_COMMAND}"]
    if current == rendered:
        return []
    diff = list(difflib.unified_diff(current.splitlines(), rendered.splitlines(), str(LIST), "from Messages.hpp",
                                     lineterm="", n=0))
    shown_diff = diff[:20] + ([f"... {len(diff) - 20} more diff lines"] if len(diff) > 20 else [])
    return [f"{LIST} is out of date; run {WRITE_COMMAND}"] + ["  " + line for line in shown_diff]


def main(argv=None):
    parser = argparse.ArgumentParser(description="Checks the lists of the command's texts against Messages.hpp.")
    parser.add_argument("--write", action="store_true", help="write docs/messages.md anew")
    parser.add_argument("--root", type=pathlib.Path, default=ROOT, help="the repository (default: this one)")
    arguments = parser.parse_args(argv)
    root = arguments.root

    messages, problems = parse_messages((root / MESSAGES).read_text(encoding="utf-8"))
    rendered = render_list(messages)
    if arguments.write:
        (root / LIST).write_text(rendered, encoding="utf-8")
        print(f"{LIST} written: {len(messages)} texts")
    else:
        problems += check_list(root, rendered)
    problems += check_documented(root, messages)
    for problem in problems:
        print(problem)
    if problems:
        return 1
    reports = sum(1 for m in messages if m.is_report_text)
    print(f"{MESSAGES}: {len(messages)} texts, {reports} of them report texts, all listed in {USER_PAGE} and {INSTALL_NOTE}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
