"""Checks how scripts/gen_messages.py reads a Markdown list of messages."""

import pathlib
import sys
import unittest

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "scripts"))
import gen_messages as gen  # noqa: E402

PROGRAM_HEAD = "**Table `resDravonel` (program messages)**\n\n| ID | Text | Meaning |\n|---|---|---|\n"
COMMON_HEAD = "**Table `resAll` (common messages)**\n\n| ID | Text | Meaning |\n|---|---|---|\n"


def doc(program_rows, common_rows='| 5 | "ｷｬﾝｾﾙ" | cancel |\n', after=""):
    return (
        "# Messages\n\n" + PROGRAM_HEAD + program_rows + after + "\n" + COMMON_HEAD
        + common_rows + "\n**Edge cases**\n\n| 99 | \"not a message\" | x |\n"
    )


class ReadsTables(unittest.TestCase):
    def test_texts_notes_and_empty_entries(self):
        tables = gen.parse(doc(
            '| 12 | (see the note below the table) | filter |\n'
            '| 3 | "a \\| b" | escaped bar |\n'
            '| 1 | "say "hi" [\\]" | quotes and backslash |\n'
            '| 10060 | (empty) | empty |\n',
            after='\nText 12 is the file-dialog filter "F(*.X)|*.X".\n'))
        self.assertEqual(tables["resDravonel"],
                         {1: 'say "hi" [\\]', 3: "a | b", 12: "F(*.X)|*.X", 10060: ""})
        self.assertEqual(tables["resAll"][5], "ｷｬﾝｾﾙ")
        self.assertNotIn(99, tables["resAll"])  # rows after the table's section
        for ident in (7003, 7004, 7005):
            self.assertTrue(tables["resAll"][ident])

    def test_generated_table_is_sorted_and_escaped(self):
        out = gen.generate(gen.parse(doc('| 20 | "b" | x |\n| 1 | "say "hi" [\\]" | x |\n')))
        program = out[out.index("kResDravonel"):out.index("kResAll")]
        self.assertIn('    {1, "say \\"hi\\" [\\\\]"},\n    {20, "b"},\n', program)
        self.assertIn("// clang-format off", out)

    def test_malformed_lists_are_refused(self):
        bad = {
            "unquoted": doc("| 1 | text | x |\n"),
            "twice": doc('| 1 | "a" | x |\n| 1 | "b" | x |\n'),
            "no note": doc("| 12 | (see the note below the table) | x |\n"),
            "stray note": doc('| 1 | "a" | x |\n', after='\nText 9 is the filter "F".\n'),
            "not a number": doc('| 1a | "a" | x |\n'),
            "too big": doc('| 40000 | "a" | x |\n'),
            "control character": doc('| 1 | "a\tb" | x |\n'),
            "missing table": PROGRAM_HEAD + '| 1 | "a" | x |\n',
        }
        for name, text in bad.items():
            with self.subTest(name):
                with self.assertRaises(gen.DocError):
                    gen.generate(gen.parse(text))


if __name__ == "__main__":
    sys.exit(unittest.main())
