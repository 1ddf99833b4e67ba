#!/usr/bin/env python3
"""Checks the help files of the build and the help compiler.

  test_help.py BIN_DIR VERSION MESSAGES_H

The built pelbo.hlp is read back by hlpread (every internal file, every reference),
pelbo.cnt and pelbo.txt are checked as the installer and the viewer use them, and
the compiler is run on made-up sources large enough to need several topic blocks
and several B+ tree pages.
"""
import os
import re
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import hlpc  # noqa: E402
import hlpread  # noqa: E402

BIN_DIR, VERSION, MESSAGES_H = None, None, None

# What the settings dialog asks for, and the control each number belongs to.
SETTINGS_MAP = {14: "作成先", 15: "ファイル名", 16: "抽出ファイル", 17: "常に新規作成", 18: "圧縮後に開く",
                19: "バックアップするファイルとフォルダ", 20: "除外する拡張子", 21: "削除する拡張子"}

DEFINES = {"PRODUCT": "Pomvault", "VERSION": "1.05", "MAKER": "Sorvane", "HOME_URL": "h", "FAQ_URL": "f"}


def program_messages(path):
    """The texts of the program's message boxes: the string literals of each
    declaration in the shared header, joined as the compiler joins them."""
    with open(path, encoding="utf-8") as f:
        source = f.read()
    texts = {}
    for name, body in re.findall(r"constexpr char (k\w+)\[\] =(.*?);", source, re.S):
        literals = re.findall(r'"((?:[^"\\]|\\.)*)"', body)
        text = "".join(literals)
        texts[name] = re.sub(r"\\(.)", lambda m: {"n": "\n", "r": "\r"}.get(m.group(1), m.group(1)), text)
    return texts


def read(name):
    with open(os.path.join(BIN_DIR, name), "rb") as f:
        return f.read()


class BuiltHelp(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.hlp = hlpread.HelpFile(read("pelbo.hlp"))

    def test_every_reference_leads_to_a_topic_and_every_topic_is_reachable(self):
        h = self.hlp
        self.assertGreater(h.resolve_all(), len(h.topics))
        self.assertEqual(h.charset, 128)
        self.assertEqual(set(h.files), {"|SYSTEM", "|TOPIC", "|FONT", "|CONTEXT", "|CTXOMAP", "|TTLBTREE",
                                        "|KWBTREE", "|KWDATA", "|KWMAP"})
        contents = h.topic_at(h.contents_offset)
        self.assertEqual(contents.title.decode("cp932"), "Pomvault ヘルプの目次")
        # Every topic can be reached from the contents topic by following jumps.
        seen, todo = {contents.offset}, [contents]
        while todo:
            for _, jumps, _ in todo.pop().paragraphs:
                for _, target in jumps:
                    t = h.topic_at(h.context[target])
                    if t.offset not in seen:
                        seen.add(t.offset)
                        todo.append(t)
        unreachable = [t.title.decode("cp932") for t in h.topics if t.offset not in seen]
        self.assertEqual(unreachable, [])
        # Wine's viewer cannot list several topics for one index entry.
        shared = [k.decode("cp932") for k, offsets in h.keywords.items() if len(offsets) > 1]
        self.assertEqual(shared, [])
        for t in h.topics:
            self.assertNotIn("{", t.text(), t.title.decode("cp932"))
            self.assertTrue(any(t.offset in offsets for offsets in h.keywords.values()),
                            "no index entry for " + t.title.decode("cp932"))

    def test_every_message_the_program_shows_is_explained(self):
        # What is filled in ("%s") and line breaks may differ; every other piece of
        # the text must stand in the help as the user sees it.
        help_text = re.sub(r"\s", "", "".join(t.text() for t in self.hlp.topics))
        texts = program_messages(MESSAGES_H)
        self.assertGreaterEqual(len(texts), 20)
        missing = []
        for name, text in texts.items():
            for piece in re.split(r"%s|\n", text):
                piece = re.sub(r"\s", "", piece)
                if len(piece) >= 3 and piece not in help_text:
                    missing.append("%s: %s" % (name, piece))
        self.assertEqual(missing, [])

    def test_settings_dialog_numbers_open_their_controls_topics(self):
        self.assertEqual(sorted(self.hlp.map), list(range(14, 22)))
        for number, label in SETTINGS_MAP.items():
            topic = self.hlp.topic_at(self.hlp.map[number])
            self.assertTrue(topic.title.decode("cp932").startswith(label), (number, topic.title.decode("cp932")))
            self.assertIn(label.split("ファイルと")[0], topic.text())

    def test_contents_file_names_existing_topics(self):
        text = read("pelbo.cnt").decode("cp932")
        self.assertNotIn("\n", text.replace("\r\n", ""))
        lines = text.split("\r\n")[:-1]
        self.assertEqual(lines[0], ":Base pelbo.hlp")
        self.assertEqual(lines[1], ":Title " + self.hlp.title.decode("cp932"))
        entries = 0
        for line in lines[2:]:
            m = re.match(r"^(\d) ([^=]+)(?:=(.+))?$", line)
            self.assertTrue(m, line)
            if m.group(3):
                entries += 1
                self.assertEqual(self.hlp.topic_by_context(m.group(3)).title.decode("cp932"), m.group(2))
        self.assertEqual(entries, len(self.hlp.topics))

    def test_readme_is_shift_jis_with_crlf_and_the_version(self):
        data = read("pelbo.txt")
        text = data.decode("cp932")
        self.assertNotIn(b"\n", data.replace(b"\r\n", b""))
        self.assertIn("バージョン " + VERSION, text)
        self.assertIn("unlha32.dll", text)
        self.assertNotRegex(text, r"\{[A-Z_]+\}")


class Compiler(unittest.TestCase):
    def test_large_help_needs_several_blocks_and_pages_and_reads_back(self):
        # Long paragraphs cross topic blocks; many keywords need several leaves and
        # an index page; 表 and ソ end in the byte of a backslash.
        src = ["@helptitle 大きなヘルプ", "@contents t0"]
        expected = {}
        for i in range(40):
            para = ("表ソ能 %d " % i) * (60 + i * 7)
            src += ["@topic t%d %d" % (i, 1000 + i), "@title 題 %d" % i,
                    "@keywords " + "; ".join("語%03d-%d" % (k, i) for k in range(12)) + "; Key%d" % i,
                    para, "", "**太字 %d** と [[次|t%d]]" % (i, (i + 1) % 40)]
            expected[i] = para.strip()
        data, cnt, _ = hlpc.compile_help("\n".join(src), {})
        h = hlpread.HelpFile(data)
        h.resolve_all()
        self.assertGreater(len(h.files["|TOPIC"]) // 0x1000, 10)
        self.assertEqual(len(h.topics), 40)
        levels = [int.from_bytes(h.files[f][32:34], "little") for f in ("|KWBTREE",)]
        self.assertGreater(levels[0], 1)
        for i, t in enumerate(h.topics):
            self.assertEqual(t.offset, h.map[1000 + i])
            self.assertEqual(t.title.decode("cp932"), "題 %d" % i)
            texts = [p[0].decode("cp932") for p in t.paragraphs]
            self.assertEqual(texts, ["題 %d" % i, expected[i], "太字 %d と 次" % i])
            bold, = [p for p in t.paragraphs if p[0].startswith("太字".encode("cp932"))]
            self.assertEqual(bold[1], [(b"\x8e\x9f", hlpread.viewer_hash("t%d" % ((i + 1) % 40)))])
            self.assertIn(1, bold[2])  # the bold font
            self.assertEqual(h.keywords[("語005-%d" % i).encode("cp932")], [t.offset])
        self.assertEqual(len(h.keywords), 40 * 13)

    def test_mistakes_in_the_source_are_reported(self):
        base = "@topic a 1\n@title A\ntext\n"
        cases = {
            "jump to a missing topic": base + "[[x|nowhere]]\n",
            "map number twice": base + "@topic b 1\n@title B\n",
            "context twice": base + "@topic A\n@title B\n",
            "unknown placeholder": base + "{NOPE}\n",
            "context the viewer cannot hash": "@topic a-b\n@title A\n",
            "topic without title": "@topic a\ntext\n",
            "keywords differing in case only": base + "@keywords Disk\n@topic b\n@title B\n@keywords DISK\n",
            "unbalanced bold": base + "**half\n",
            "not Shift-JIS": base + "\u00e9t\u00e9\n",
            "paragraph too long to count": base + "x" * 0x8000 + "\n",
        }
        for what, text in cases.items():
            with self.subTest(what):
                with self.assertRaises(hlpc.SourceError):
                    hlpc.compile_help(text, {})


if __name__ == "__main__":
    BIN_DIR, VERSION, MESSAGES_H = sys.argv[1], sys.argv[2], sys.argv[3]
    unittest.main(argv=sys.argv[:1], verbosity=2)
