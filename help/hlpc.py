#!/usr/bin/env python3
"""Help compiler: turns the readable help source into a WinHelp 4 file and its
contents file, and turns the read-me source into the Shift-JIS text the installer
shows.

  hlpc.py help SOURCE OUT.hlp OUT.cnt [-D NAME=VALUE ...]
  hlpc.py text SOURCE OUT.txt [-D NAME=VALUE ...]

Sources are UTF-8. {NAME} anywhere in a source is replaced by the value given with
-D (product name, version, maker and web addresses come from the build, so that
they are written in one place only); an unknown {NAME} is an error.

Help source, line by line:
  # text              comment (a '#' in the first column followed by a space)
  @helptitle TEXT      title of the help file (window caption, contents file)
  @copyright TEXT      copyright line of the help file
  @contents CONTEXT    the topic shown first
  @book LEVEL TEXT     a heading of the contents file
  @entry LEVEL CONTEXT a topic line of the contents file (the topic's title is used)
  @topic CONTEXT [MAP] starts a topic; MAP is the number programs ask for
  @title TEXT          title of the current topic
  @keywords A; B; C    index entries of the current topic
  ## TEXT              a heading inside the topic
  - TEXT               an item of a list
  > TEXT               an indented paragraph (examples, notes)
  other lines          text; lines that follow each other make one paragraph,
                       an empty line ends it
Inline: **bold**, [[shown text|CONTEXT]] jumps to a topic.
Context names use A-Z a-z 0-9 . _ only: the viewer's hash knows nothing else.

The .hlp file is written uncompressed (4 KB topic blocks, no phrase table), with
|SYSTEM, |TOPIC, |FONT, |CONTEXT, |CTXOMAP, the topic titles |TTLBTREE and the keyword
index |KWBTREE, |KWDATA, |KWMAP; text is Shift-JIS (character set 128).
"""
import re
import struct
import sys
import time

ENCODING = "cp932"
CHARSET_SHIFTJIS = 128

HELP_MAGIC = 0x00035F3F
BTREE_MAGIC = 0x293B
SYSTEM_MAGIC = 0x036C
SYSTEM_MINOR = 33          # help files of the 32-bit viewer
TOPIC_BLOCK = 0x1000       # uncompressed topic blocks, header included
BLOCK_HEADER = 12
BLOCK_DATA = TOPIC_BLOCK - BLOCK_HEADER
LINK_HEADER = 21

# Topic link record types.
TL_TOPICHDR = 0x02
TL_DISPLAY = 0x20

# Format commands inside a paragraph.
FC_FONT = 0x80
FC_PARA_END = 0x82
FC_JUMP = 0xE3
FC_HOTSPOT_END = 0x89
FC_END = 0xFF

# |SYSTEM record types.
SYS_TITLE, SYS_COPYRIGHT, SYS_CONTENTS, SYS_CNT, SYS_CHARSET = 1, 2, 3, 10, 11

FONT_FACE = "ＭＳ Ｐゴシック"
FACE_LEN = 32
# (bold, half points, colour) by font number; family 3 = swiss for all.
FONTS = [
    (False, 20, (0, 0, 0)),       # 0 body
    (True, 20, (0, 0, 0)),        # 1 bold body
    (True, 28, (0, 0, 128)),      # 2 topic title
    (True, 22, (0, 0, 128)),      # 3 heading
]
F_BODY, F_BOLD, F_TITLE, F_HEADING = range(4)

# Paragraph settings bits and the values we use (in the viewer's half-point units).
PB_SPACE_ABOVE, PB_SPACE_BELOW, PB_LEFT_INDENT = 0x0002, 0x0004, 0x0010
STYLES = {
    "title": (F_TITLE, {PB_SPACE_BELOW: 12}),
    "heading": (F_HEADING, {PB_SPACE_ABOVE: 12, PB_SPACE_BELOW: 4}),
    "text": (F_BODY, {PB_SPACE_BELOW: 6}),
    "item": (F_BODY, {PB_LEFT_INDENT: 24, PB_SPACE_BELOW: 2}),
    "quote": (F_BODY, {PB_LEFT_INDENT: 24, PB_SPACE_BELOW: 6}),
}

CONTEXT_RE = re.compile(r"^[A-Za-z0-9._]+$")


class SourceError(Exception):
    pass


# ------------------------------------------------------------------ small encoders
def enc(text):
    try:
        return text.encode(ENCODING)
    except UnicodeEncodeError as e:
        raise SourceError("not representable in Shift-JIS: %r" % text) from e


def context_hash(name):
    """The viewer's hash of a context name: signed 32 bits."""
    h = 0
    for c in name.upper():
        if "A" <= c <= "Z":
            x = ord(c) - ord("A") + 17
        elif "1" <= c <= "9":
            x = ord(c) - ord("0")
        elif c == "0":
            x = 10
        elif c == ".":
            x = 12
        elif c == "_":
            x = 13
        else:
            raise SourceError("context name %r: only A-Z a-z 0-9 . _" % name)
        h = (h * 43 + x) & 0xFFFFFFFF
    return h - 0x100000000 if h & 0x80000000 else h


def comp_long(v):
    """Compressed signed long: 2 bytes when it fits, else 4 (lowest bit set)."""
    if -0x4000 <= v < 0x4000:
        return struct.pack("<H", v * 2 + 0x8000)
    return struct.pack("<L", (v * 2 + 0x80000000 + 1) & 0xFFFFFFFF)


def comp_ushort(v):
    if v < 0x80:
        return bytes([v * 2])
    return struct.pack("<H", v * 2 + 1)


def comp_short(v):
    if -0x40 <= v < 0x40:
        return bytes([v * 2 + 0x80])
    return struct.pack("<H", v * 2 + 0x8000 + 1)


def substitute(text, defines, where):
    def repl(m):
        if m.group(1) not in defines:
            raise SourceError("%s: unknown {%s}" % (where, m.group(1)))
        return defines[m.group(1)]
    return re.sub(r"\{([A-Z_]+)\}", repl, text)


# ------------------------------------------------------------------ B+ trees
def btree(entries, page_size, structure, leaf_entry, index_entry, flags=0x0002):
    """A B+ tree over sorted (key, value) pairs. leaf_entry(key, value) and
    index_entry(key, page) give the bytes of one entry. Answers the bytes of the
    tree and the leaf pages as (page number, index of its first entry)."""
    leaf_pages, leaves = [], []
    cur, first, count = b"", 0, 0
    for i, (k, v) in enumerate(entries):
        e = leaf_entry(k, v)
        if count and 8 + len(cur) + len(e) > page_size:
            leaf_pages.append((cur, count, first))
            cur, first, count = b"", i, 0
        cur += e
        count += 1
    leaf_pages.append((cur, count, first))

    pages = []
    n_leaves = len(leaf_pages)
    for i, (data, count, _) in enumerate(leaf_pages):
        prev = i - 1 if i > 0 else -1
        nxt = i + 1 if i + 1 < n_leaves else -1
        head = struct.pack("<HhhH", page_size - 8 - len(data), count, prev, nxt & 0xFFFF)
        pages.append(head + data)
    # Each level: (page number, first key) of its pages.
    level = [(i, entries[first][0] if entries else b"") for i, (_, _, first) in enumerate(leaf_pages)]
    levels = 1
    while len(level) > 1:
        upper = []
        group = []

        def flush():
            data = b"".join(index_entry(k, p) for p, k in group[1:])
            head = struct.pack("<Hhh", page_size - 6 - len(data), len(group) - 1, group[0][0])
            upper.append((len(pages), group[0][1]))
            pages.append(head + data)

        size = 6
        for p, k in level:
            e = len(index_entry(k, p))
            if group and size + e > page_size:
                flush()
                group, size = [], 6
            if group:
                size += e
            group.append((p, k))
        flush()
        level = upper
        levels += 1
    root = level[0][0]
    for i, p in enumerate(pages):
        if len(p) > page_size:
            raise SourceError("B+ tree entry larger than a page")
        pages[i] = p + bytes(page_size - len(p))
    header = struct.pack("<HHH16shhhhhhl", BTREE_MAGIC, flags, page_size,
                         structure.encode("ascii"), 0, 0, root, -1, len(pages), levels, len(entries))
    return header + b"".join(pages), [(i, first) for i, (_, _, first) in enumerate(leaf_pages)]


# ------------------------------------------------------------------ source
class Topic:
    def __init__(self, context, map_number, line):
        self.context = context
        self.map_number = map_number
        self.line = line
        self.title = None
        self.keywords = []
        self.paragraphs = []   # (style, runs); runs: ("text"|"bold", str) or ("link", str, context)


class HelpSource:
    def __init__(self):
        self.title = ""
        self.copyright = ""
        self.contents = None
        self.outline = []      # ("book", level, text) or ("entry", level, context)
        self.topics = []


INLINE_RE = re.compile(r"\*\*(.+?)\*\*|\[\[(.+?)\|([^\]]+)\]\]")


def parse_inline(text, where):
    runs, pos = [], 0
    for m in INLINE_RE.finditer(text):
        if m.start() > pos:
            runs.append(("text", text[pos:m.start()]))
        if m.group(1) is not None:
            runs.append(("bold", m.group(1)))
        else:
            runs.append(("link", m.group(2), m.group(3).strip()))
        pos = m.end()
    if pos < len(text):
        runs.append(("text", text[pos:]))
    for r in runs:
        if r[0] != "link" and ("**" in r[1] or "[[" in r[1] or "]]" in r[1]):
            raise SourceError("%s: unbalanced ** or [[ ]]" % where)
    return runs


def join_lines(lines):
    out = ""
    for ln in lines:
        if out and out[-1].isascii() and out[-1].isalnum() and ln[:1].isascii() and ln[:1].isalnum():
            out += " "
        out += ln
    return out


def parse_source(text, defines, name="source"):
    src = HelpSource()
    topic = None
    pending, pending_style = [], None

    def flush():
        nonlocal pending, pending_style
        if pending:
            where = "%s: paragraph in %s" % (name, topic.context)
            topic.paragraphs.append((pending_style, parse_inline(join_lines(pending), where)))
        pending, pending_style = [], None

    for no, raw in enumerate(text.splitlines(), 1):
        where = "%s:%d" % (name, no)
        line = substitute(raw.rstrip(), defines, where)
        if line.startswith("# ") or line == "#":
            continue
        if line.startswith("@"):
            flush()
            word, _, rest = line.partition(" ")
            rest = rest.strip()
            if word == "@topic":
                parts = rest.split()
                if not parts or len(parts) > 2 or not CONTEXT_RE.match(parts[0]):
                    raise SourceError("%s: @topic CONTEXT [MAP]" % where)
                topic = Topic(parts[0], int(parts[1]) if len(parts) == 2 else None, no)
                src.topics.append(topic)
            elif word == "@title" and topic:
                topic.title = rest
            elif word == "@keywords" and topic:
                topic.keywords += [k.strip() for k in rest.split(";") if k.strip()]
            elif word == "@helptitle" and not topic:
                src.title = rest
            elif word == "@copyright" and not topic:
                src.copyright = rest
            elif word == "@contents" and not topic:
                src.contents = rest
            elif word in ("@book", "@entry") and not topic:
                level, _, what = rest.partition(" ")
                if not level.isdigit() or not what.strip():
                    raise SourceError("%s: %s LEVEL TEXT" % (where, word))
                src.outline.append((word[1:], int(level), what.strip()))
            else:
                raise SourceError("%s: unknown or misplaced %s" % (where, word))
            continue
        if not line.strip():
            flush()
            continue
        if topic is None:
            raise SourceError("%s: text before the first @topic" % where)
        for prefix, style in (("## ", "heading"), ("- ", "item"), ("> ", "quote")):
            if line.startswith(prefix):
                flush()
                body = line[len(prefix):].strip()
                pending, pending_style = [("・" + body) if style == "item" else body], style
                if style == "heading":
                    flush()
                break
        else:
            if pending_style not in (None, "text", "item", "quote"):
                flush()
            if pending_style is None:
                pending_style = "text"
            pending.append(line.strip())
    flush()
    check_source(src, name)
    return src


def check_source(src, name):
    if not src.topics:
        raise SourceError("%s: no topics" % name)
    seen, hashes, maps = {}, {}, {}
    for t in src.topics:
        if not t.title:
            raise SourceError("%s:%d: topic %s has no @title" % (name, t.line, t.context))
        key = t.context.upper()
        if key in seen:
            raise SourceError("%s:%d: context %s twice" % (name, t.line, t.context))
        seen[key] = t
        h = context_hash(t.context)
        if h in hashes:
            raise SourceError("%s: contexts %s and %s have the same hash" % (name, hashes[h], t.context))
        hashes[h] = t.context
        if t.map_number is not None:
            if t.map_number in maps:
                raise SourceError("%s: map number %d twice" % (name, t.map_number))
            maps[t.map_number] = t.context
    refs = [("@contents", src.contents)] if src.contents else []
    refs += [("@entry", what) for kind, _, what in src.outline if kind == "entry"]
    for t in src.topics:
        for _, runs in t.paragraphs:
            refs += [("jump in " + t.context, r[2]) for r in runs if r[0] == "link"]
    for what, ctx in refs:
        if ctx.upper() not in seen:
            raise SourceError("%s: %s names unknown topic %s" % (name, what, ctx))


# ------------------------------------------------------------------ |TOPIC
class Link:
    """One topic link record: its LinkData1 after the common header and LinkData2."""

    def __init__(self, kind, data1, data2, topic):
        self.kind, self.data1, self.data2, self.topic = kind, data1, data2, topic
        self.chars = 0
        self.pos = 0        # position in the stream of block data

    def size(self):
        return LINK_HEADER + len(self.data1) + len(self.data2)


def topicpos(stream_pos):
    block, off = divmod(stream_pos, BLOCK_DATA)
    return (block << 14) + BLOCK_HEADER + off


def paragraph_link(style, runs, hashes, topic):
    font, settings = STYLES[style]
    texts, commands = [b""], []

    def command(c):
        commands.append(c)
        texts.append(b"")

    command(bytes([FC_FONT]) + struct.pack("<H", font))
    for r in runs:
        if r[0] == "text":
            texts[-1] += enc(r[1])
        elif r[0] == "bold":
            command(bytes([FC_FONT]) + struct.pack("<H", F_BOLD))
            texts[-1] += enc(r[1])
            command(bytes([FC_FONT]) + struct.pack("<H", font))
        else:
            command(bytes([FC_JUMP]) + struct.pack("<l", hashes[r[2].upper()]))
            texts[-1] += enc(r[1])
            command(bytes([FC_HOTSPOT_END]))
    command(bytes([FC_PARA_END]))
    chars = sum(len(t) for t in texts) + 1          # the paragraph end counts as one
    if chars >= 0x8000:
        raise SourceError("topic %s: a paragraph of %d bytes is too long" % (topic.context, chars))
    data2 = b"".join(t + b"\0" for t in texts)
    bits = 0
    for b in settings:
        bits |= b
    fmt = comp_long(len(data2)) + comp_ushort(chars) + bytes([0x00, 0x80, 0x00, 0x00])
    fmt += struct.pack("<H", bits)
    for b in sorted(settings):
        fmt += comp_short(settings[b])
    fmt += b"".join(commands) + bytes([FC_END])
    link = Link(TL_DISPLAY, fmt, data2, topic)
    link.chars = chars
    return link


def build_topic_file(src):
    hashes = {t.context.upper(): context_hash(t.context) for t in src.topics}
    links = []
    for t in src.topics:
        t.header = Link(TL_TOPICHDR, bytes(28), enc(t.title) + b"\0", t)
        links.append(t.header)
        t.first_para = None
        for style, runs in [("title", [("text", t.title)])] + t.paragraphs:
            p = paragraph_link(style, runs, hashes, t)
            t.first_para = t.first_para or p
            links.append(p)

    # Positions in the stream, then topic offsets: block of the topic header times
    # 0x8000 plus the characters of the paragraphs that start earlier in that block.
    pos = 0
    block_chars = {}
    for ln in links:
        ln.pos = pos
        block = pos // BLOCK_DATA
        if ln.kind == TL_TOPICHDR:
            ln.topic.offset = (block << 15) + block_chars.get(block, 0)
        else:
            block_chars[block] = block_chars.get(block, 0) + ln.chars
        pos += ln.size()
    stream_len = pos

    for i, t in enumerate(src.topics):
        prev_t = src.topics[i - 1] if i > 0 else None
        next_t = src.topics[i + 1] if i + 1 < len(src.topics) else None
        topic_end = next_t.header.pos if next_t else stream_len
        t.header.data1 = struct.pack(
            "<lllllll", topic_end - t.header.pos,
            prev_t.offset if prev_t else -1, next_t.offset if next_t else -1,
            i, -1, topicpos(t.first_para.pos), topicpos(next_t.header.pos) if next_t else -1)

    stream = bytearray()
    for i, ln in enumerate(links):
        prev_pos = topicpos(links[i - 1].pos) if i > 0 else -1
        next_pos = topicpos(links[i + 1].pos) if i + 1 < len(links) else -1
        data1_len = LINK_HEADER + len(ln.data1)
        stream += struct.pack("<LLllLB", ln.size(), len(ln.data2), prev_pos, next_pos,
                              data1_len, ln.kind)
        stream += ln.data1 + ln.data2
    assert len(stream) == stream_len

    # Cut into blocks, each with its header: the last link and the last topic
    # header that started before the block, and the first link that starts in it.
    out = bytearray()
    n_blocks = max(1, -(-stream_len // BLOCK_DATA))
    for b in range(n_blocks):
        start, end = b * BLOCK_DATA, (b + 1) * BLOCK_DATA
        before = [ln for ln in links if ln.pos < start]
        inside = [ln for ln in links if start <= ln.pos < end]
        last_link = topicpos(before[-1].pos) if before else -1
        first_link = topicpos(inside[0].pos) if inside else -1
        headers = [ln for ln in before if ln.kind == TL_TOPICHDR]
        last_header = topicpos(headers[-1].pos) if headers else -1
        chunk = bytes(stream[start:end])
        # The last block is filled up: the viewer copies whole blocks.
        out += struct.pack("<lll", last_link, first_link, last_header) + chunk
        out += bytes(BLOCK_DATA - len(chunk))
    return bytes(out), hashes


# ------------------------------------------------------------------ other internal files
def build_system(src, cnt_name):
    def record(kind, data):
        return struct.pack("<HH", kind, len(data)) + data

    contents = next(t for t in src.topics if t.context.upper() == (src.contents or src.topics[0].context).upper())
    data = struct.pack("<HHHlH", SYSTEM_MAGIC, SYSTEM_MINOR, 1, int(time.time()) if not FIXED_DATE else FIXED_DATE, 0)
    data += record(SYS_TITLE, enc(src.title) + b"\0")
    if src.copyright:
        data += record(SYS_COPYRIGHT, enc(src.copyright) + b"\0")
    data += record(SYS_CONTENTS, struct.pack("<l", contents.offset))
    data += record(SYS_CNT, enc(cnt_name) + b"\0")
    data += record(SYS_CHARSET, struct.pack("<H", CHARSET_SHIFTJIS))
    return data


def build_font():
    face = enc(FONT_FACE)
    faces = face + bytes(FACE_LEN - len(face))
    header_len = 8
    data = struct.pack("<HHHH", 1, len(FONTS), header_len, header_len + len(faces)) + faces
    for bold, half_points, (r, g, b) in FONTS:
        data += struct.pack("<BBBH3B3B", 1 if bold else 0, half_points, 3, 0, r, g, b, 255, 255, 255)
    return data


def build_context(src):
    entries = sorted((context_hash(t.context), t.offset) for t in src.topics)
    data, _ = btree(entries, 0x800, "L4",
                    lambda k, v: struct.pack("<ll", k, v),
                    lambda k, p: struct.pack("<lH", k, p))
    return data


def build_titles(src):
    """Topic titles by topic offset, for lists of topics (index hits, search)."""
    entries = sorted((t.offset, enc(t.title)) for t in src.topics)
    data, _ = btree(entries, 0x800, "Lz",
                    lambda k, v: struct.pack("<l", k) + v + b"\0",
                    lambda k, p: struct.pack("<lH", k, p))
    return data


def build_ctxomap(src):
    maps = sorted((t.map_number, t.offset) for t in src.topics if t.map_number is not None)
    return struct.pack("<H", len(maps)) + b"".join(struct.pack("<ll", m, o) for m, o in maps)


def keyword_order(word):
    """Keywords are ordered without regard to the case of A-Z, by whole Shift-JIS
    characters (a trail byte that looks like a letter stays as it is)."""
    out, i = bytearray(), 0
    while i < len(word):
        c = word[i]
        if 0x81 <= c <= 0x9F or 0xE0 <= c <= 0xFC:
            out += word[i:i + 2]
            i += 2
        else:
            out.append(c - 32 if 0x61 <= c <= 0x7A else c)
            i += 1
    return bytes(out)


def build_keywords(src):
    index, spelled = {}, {}
    for t in src.topics:
        for k in t.keywords:
            word = enc(k)
            key = keyword_order(word)
            if spelled.setdefault(key, word) != word:
                raise SourceError("keywords %r and %r differ only in case" % (k, spelled[key].decode(ENCODING)))
            index.setdefault(word, [])
            if t.offset not in index[word]:
                index[word].append(t.offset)
    words = sorted(index, key=keyword_order)
    kwdata = b""
    entries = []
    for w in words:
        entries.append((w, (len(index[w]), len(kwdata))))
        kwdata += b"".join(struct.pack("<l", o) for o in index[w])
    tree, leaves = btree(entries, 0x800, "z24",
                         lambda k, v: k + b"\0" + struct.pack("<hl", v[0], v[1]),
                         lambda k, p: k + b"\0" + struct.pack("<H", p))
    kwmap = struct.pack("<H", len(leaves)) + b"".join(struct.pack("<lH", first, page) for page, first in leaves)
    return tree, kwdata, kwmap


# ------------------------------------------------------------------ container
def build_hlp(files):
    """files: {name: data}. Answers the whole .hlp file."""
    out = bytearray(16)
    offsets = {}
    for name in sorted(files, key=enc):
        offsets[name] = len(out)
        data = files[name]
        out += struct.pack("<LLB", 9 + len(data), len(data), 4) + data
    directory, _ = btree(sorted((enc(n), o) for n, o in offsets.items()), 0x400, "z4",
                         lambda k, v: k + b"\0" + struct.pack("<l", v),
                         lambda k, p: k + b"\0" + struct.pack("<H", p),
                         flags=0x0402)
    dir_start = len(out)
    out += struct.pack("<LLB", 9 + len(directory), len(directory), 4) + directory
    out[0:16] = struct.pack("<LLlL", HELP_MAGIC, dir_start, -1, len(out))
    return bytes(out)


def build_cnt(src, hlp_name):
    lines = [":Base " + hlp_name, ":Title " + src.title]
    by_context = {t.context.upper(): t for t in src.topics}
    for kind, level, what in src.outline:
        if kind == "book":
            lines.append("%d %s" % (level, what))
        else:
            lines.append("%d %s=%s" % (level, by_context[what.upper()].title, what))
    return enc("\r\n".join(lines) + "\r\n")


def compile_help(text, defines, hlp_name="pelbo.hlp", cnt_name="pelbo.cnt", name="source"):
    src = parse_source(text, defines, name)
    topic, _ = build_topic_file(src)
    kwbtree, kwdata, kwmap = build_keywords(src)
    files = {
        "|SYSTEM": build_system(src, cnt_name),
        "|TOPIC": topic,
        "|FONT": build_font(),
        "|CONTEXT": build_context(src),
        "|CTXOMAP": build_ctxomap(src),
        "|TTLBTREE": build_titles(src),
        "|KWBTREE": kwbtree,
        "|KWDATA": kwdata,
        "|KWMAP": kwmap,
    }
    return build_hlp(files), build_cnt(src, hlp_name), src


def convert_text(text, defines, name="source"):
    lines = [substitute(ln.rstrip(), defines, "%s:%d" % (name, i)) for i, ln in enumerate(text.splitlines(), 1)]
    return enc("\r\n".join(lines) + "\r\n")


# The generation date in |SYSTEM: SOURCE_DATE_EPOCH keeps builds reproducible.
FIXED_DATE = None


def main(argv):
    import argparse
    import os
    global FIXED_DATE
    if os.environ.get("SOURCE_DATE_EPOCH"):
        FIXED_DATE = int(os.environ["SOURCE_DATE_EPOCH"])
    ap = argparse.ArgumentParser(description="help and read-me compiler")
    ap.add_argument("mode", choices=["help", "text"])
    ap.add_argument("source")
    ap.add_argument("outputs", nargs="+")
    ap.add_argument("-D", dest="defines", action="append", default=[], metavar="NAME=VALUE")
    a = ap.parse_args(argv)
    defines = dict(d.split("=", 1) for d in a.defines)
    with open(a.source, encoding="utf-8") as f:
        text = f.read()
    try:
        if a.mode == "help":
            if len(a.outputs) != 2:
                ap.error("help needs OUT.hlp OUT.cnt")
            hlp, cnt, _ = compile_help(text, defines, os.path.basename(a.outputs[0]),
                                       os.path.basename(a.outputs[1]), a.source)
            results = [hlp, cnt]
        else:
            if len(a.outputs) != 1:
                ap.error("text needs OUT.txt")
            results = [convert_text(text, defines, a.source)]
    except SourceError as e:
        print("hlpc: %s" % e, file=sys.stderr)
        return 1
    for path, data in zip(a.outputs, results):
        with open(path, "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
