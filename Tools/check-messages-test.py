#!/usr/bin/env python3
"""Tests of Tools/check-messages.py on small repositories of its own making."""
import contextlib
import importlib.util
import io
import pathlib
import tempfile
import unittest

HERE = pathlib.Path(__file__).resolve().parent
SPEC = importlib.util.spec_from_file_location("check_messages", HERE / "check-messages.py")
check = importlib.util.module_from_spec(SPEC)
SPEC.loader.exec_module(check)

HEADER = r'''// Every text the command shows.
#pragma once

namespace Quillmere::Messages {

// --- Names of the undoable steps ---------------------------------------------------------------

// One step per removed group.
constexpr const char* DeleteGroupsStep = "Delete Property Groups";

// --- The file dialog ---------------------------------------------------------------------------

// Its filter pairs.
#define QM_DIALOG_FILTER "IFC-SG Config File\0*.xml\0"

// --- Host formats (flag 1) ----------------------------------------------------------------------

// The elements cannot be listed.
constexpr const char* ListElementsError = "Error 1: %d";
// The definitions cannot be listed again.
constexpr const char* ExpressionsListError = "Error: %d";

// --- Finished lines (flag 0) --------------------------------------------------------------------

// Values not brought back: group, property, how many.
constexpr const char* ValuesNotBroughtBackLine =
    "{} / {}: {} saved values not brought back; they are kept in "
    "\"{}\"";
constexpr const char* NotDefinedReason = "{} not defined by the configuration";

// --- The completion alert -----------------------------------------------------------------------

// Shown at the end.
constexpr const char* CompletionAlertTitle = "Import Successful";

}  // namespace Quillmere::Messages
'''

PAGE = '''# Report lines

| line | meaning |
|---|---|
| `Error 1: CODE` | the elements |
| `Error: CODE` | the definitions |
| `GROUP / PROPERTY: N saved values not brought back; they are kept in "PATH"` | kept |

Reasons: `N not defined by the configuration`.
'''

NOTE = '''Report lines
> Error 1: CODE
    The elements.
> Error: CODE
> GROUP / PROPERTY: N saved values not brought back; they are kept in
> "PATH"
> N not defined by the configuration
'''


class Repository:
    """A repository of the files the script reads, in a temporary folder."""

    def __init__(self, header=HEADER, page=PAGE, note=NOTE):
        self.folder = tempfile.TemporaryDirectory()
        self.root = pathlib.Path(self.folder.name)
        for path, text in ((check.MESSAGES, header), (check.USER_PAGE, page), (check.INSTALL_NOTE, note)):
            self.write(path, text)

    def write(self, path, text):
        (self.root / path).parent.mkdir(parents=True, exist_ok=True)
        (self.root / path).write_text(text, encoding="utf-8")

    def run(self, *arguments):
        output = io.StringIO()
        with contextlib.redirect_stdout(output):
            status = check.main([*arguments, "--root", str(self.root)])
        return status, output.getvalue()

    def close(self):
        self.folder.cleanup()


class ParsingTest(unittest.TestCase):
    def test_texts_comments_and_sections_are_read(self):
        messages, problems = check.parse_messages(HEADER)
        self.assertEqual(problems, [])
        by_name = {m.name: m for m in messages}
        self.assertEqual(list(by_name), ["DeleteGroupsStep", "QM_DIALOG_FILTER", "ListElementsError",
                                         "ExpressionsListError", "ValuesNotBroughtBackLine", "NotDefinedReason",
                                         "CompletionAlertTitle"])
        # Adjacent literals over two lines, with their escapes.
        self.assertEqual(by_name["ValuesNotBroughtBackLine"].text,
                         '{} / {}: {} saved values not brought back; they are kept in "{}"')
        self.assertEqual(by_name["QM_DIALOG_FILTER"].text, "IFC-SG Config File\0*.xml\0")
        self.assertEqual(by_name["ListElementsError"].description, "The elements cannot be listed.")
        # A declaration right after another one shares its description.
        self.assertEqual(by_name["NotDefinedReason"].shares, "ValuesNotBroughtBackLine")
        self.assertEqual(by_name["ValuesNotBroughtBackLine"].section, "Finished lines (flag 0)")

    def test_the_section_decides_what_is_a_report_text(self):
        messages, _ = check.parse_messages(HEADER)
        reports = [m.name for m in messages if m.is_report_text]
        self.assertEqual(reports, ["ListElementsError", "ExpressionsListError", "ValuesNotBroughtBackLine",
                                   "NotDefinedReason"])

    def test_a_host_format_must_end_in_the_code(self):
        header = HEADER.replace('"Error 1: %d"', '"Error 1"')
        _, problems = check.parse_messages(header)
        self.assertEqual(len(problems), 1)
        self.assertIn('ListElementsError is a host format but does not end in ": %d"', problems[0])

    def test_a_finished_line_must_not_hold_a_host_code(self):
        header = HEADER.replace('"{} not defined by the configuration"', '"%d not defined by the configuration"')
        _, problems = check.parse_messages(header)
        self.assertEqual(len(problems), 1)
        self.assertIn('NotDefinedReason is a finished line but holds "%d"', problems[0])

    def test_a_text_without_a_comment_is_refused(self):
        header = HEADER.replace("// Shown at the end.\n", "")
        _, problems = check.parse_messages(header)
        self.assertEqual(len(problems), 1)
        self.assertIn("CompletionAlertTitle has no comment saying when it appears", problems[0])


class DocumentedTest(unittest.TestCase):
    def setUp(self):
        self.repository = Repository()
        self.assertEqual(self.repository.run("--write")[0], 0)

    def tearDown(self):
        self.repository.close()

    def test_placeholders_and_wrapped_quoted_lines_count(self):
        status, output = self.repository.run()
        self.assertEqual(status, 0, output)

    def test_a_line_missing_from_the_page_is_named(self):
        self.repository.write(check.USER_PAGE, PAGE.replace("| `Error: CODE` | the definitions |\n", ""))
        status, output = self.repository.run()
        self.assertEqual(status, 1)
        self.assertIn("docs/report-lines.md lacks 1 report text(s)", output)
        self.assertIn('ExpressionsListError: "Error: %d"', output)
        self.assertNotIn("packaging/INSTALL.txt lacks", output)

    def test_a_line_must_be_documented_whole(self):
        # "Error: %d" is part of "Backup Write Error: %d", which does not document it.
        note = NOTE.replace("> Error: CODE\n", "> Backup Write Error: CODE\n")
        self.repository.write(check.INSTALL_NOTE, note)
        status, output = self.repository.run()
        self.assertEqual(status, 1)
        self.assertIn("packaging/INSTALL.txt lacks 1 report text(s)", output)
        self.assertIn("ExpressionsListError", output)

    def test_a_reason_counts_only_as_its_own_span(self):
        self.repository.write(check.USER_PAGE, PAGE.replace("Reasons: `N not defined by the configuration`.",
                                                            "`GROUP / PROPERTY: (3 not defined by the configuration); kept`"))
        status, output = self.repository.run()
        self.assertEqual(status, 1)
        self.assertIn("NotDefinedReason", output)

    def test_fenced_code_does_not_document_a_line(self):
        page = PAGE.replace("| `Error 1: CODE` | the elements |\n", "") + "\n```\n`Error 1: 5`\n```\n"
        self.repository.write(check.USER_PAGE, page)
        status, output = self.repository.run()
        self.assertEqual(status, 1)
        self.assertIn("ListElementsError", output)

    def test_a_changed_header_makes_the_list_out_of_date(self):
        self.repository.write(check.MESSAGES, HEADER.replace("// The elements cannot be listed.",
                                                             "// The project's elements cannot be listed."))
        status, output = self.repository.run()
        self.assertEqual(status, 1)
        self.assertIn("docs/messages.md is out of date; run Tools/check-messages.py --write", output)
        self.assertIn("+| `ListElementsError` | `Error 1: %d` | The project's elements cannot be listed. |", output)
        self.assertEqual(self.repository.run("--write")[0], 0)
        self.assertEqual(self.repository.run()[0], 0)


class ListTest(unittest.TestCase):
    def test_the_list_shows_sections_names_texts_and_descriptions(self):
        messages, _ = check.parse_messages(HEADER)
        text = check.render_list(messages)
        self.assertIn("Generated from `Src/Common/Messages.hpp` by `Tools/check-messages.py --write`", text)
        self.assertIn("## The file dialog", text)
        self.assertIn("| `QM_DIALOG_FILTER` | `IFC-SG Config File\\0*.xml\\0` | Its filter pairs. |", text)
        self.assertIn("| `NotDefinedReason` | `{} not defined by the configuration` | "
                      "(no comment of its own: see `ValuesNotBroughtBackLine` above) |", text)


if __name__ == "__main__":
    unittest.main()
