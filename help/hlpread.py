#!/usr/bin/env python3
"""Reads a WinHelp 4 file back, checking its structure as a viewer would walk it.

Written apart from the compiler (it shares no code with it), so that the tests
compare two readings of the format rather than one with itself. Understands what
our compiler writes: uncompressed topic blocks, no phrase tables, no pictures.

  hlpread.py FILE.hlp     prints the topics, map numbers and keywords
"""
import struct
import sys


class FormatError(Exception):
    pass


def need(cond, what):
    if not cond:
        raise FormatError(what)


def cstr(data, pos):
    end = data.index(b"\0", pos)
    return data[pos:end], end + 1


def viewer_hash(name):
    table = {c: i + 17 for i, c in enumerate("ABCDEFGHIJKLMNOPQRSTUVWXYZ")}
    table.update({str(d): d for d in range(1, 10)})
    table.update({"0": 10, ".": 12, "_": 13})
    h = 0
    for c in name.upper():
        h = (h * 43 + table[c]) % (1 << 32)
    return h - (1 << 32) if h >= (1 << 31) else h


def caseless(key):
    """Keyword order: A-Z and a-z alike, by whole Shift-JIS characters."""
    out, i = b"", 0
    while i < len(key):
        n = 2 if (0x81 <= key[i] <= 0x9F or 0xE0 <= key[i] <= 0xFC) else 1
        out += key[i:i + n].upper() if n == 1 else key[i:i + n]
        i += n
    return out


class Reader:
    """Compressed numbers of the paragraph format, read as the viewer reads them."""

    def __init__(self, data, pos=0):
        self.data, self.pos = data, pos

    def byte(self):
        v = self.data[self.pos]
        self.pos += 1
        return v

    def take(self, fmt):
        v = struct.unpack_from(fmt, self.data, self.pos)
        self.pos += struct.calcsize(fmt)
        return v[0] if len(v) == 1 else v

    def comp_long(self):
        if self.data[self.pos] & 1:
            return (self.take("<L") - 0x80000000) // 2
        return (self.take("<H") - 0x8000) // 2

    def comp_ushort(self):
        if self.data[self.pos] & 1:
            return self.take("<H") // 2
        return self.take("<B") // 2

    def comp_short(self):
        if self.data[self.pos] & 1:
            return (self.take("<H") - 0x8000) // 2
        return (self.take("<B") - 0x80) // 2


def read_btree(data, leaf_entry, index_entry, name, order=lambda k: k):
    """All (key, value) entries of a B+ tree, after checking pages and that the
    keys rise strictly in the given order (the viewer's comparison).
    leaf_entry(data, pos) / index_entry(data, pos) answer (key, value, next pos)."""
    magic, flags, page_size, structure, zero, splits, root, minus1, total, levels, count = \
        struct.unpack_from("<HHH16shhhhhhl", data, 0)
    need(magic == 0x293B, "%s: B+ tree magic %x" % (name, magic))
    need(flags & 0x0002, "%s: flags %x" % (name, flags))
    need(minus1 == -1 and zero == 0, "%s: reserved header fields" % name)
    need(38 + total * page_size <= len(data), "%s: %d pages of %d do not fit" % (name, total, page_size))
    need(0 <= root < total and levels >= 1, "%s: root %d, %d levels" % (name, root, levels))
    page = lambda n: data[38 + n * page_size: 38 + (n + 1) * page_size]

    def first_key_under(n, level):
        while level > 1:
            n = struct.unpack_from("<h", page(n), 4)[0]
            level -= 1
        p = page(n)
        need(struct.unpack_from("<h", p, 2)[0] > 0, "%s: empty leaf %d" % (name, n))
        return leaf_entry(p, 8)[0]

    # Index pages: every separating key is the first key under its child.
    leftmost = root
    frontier = [root]
    for level in range(levels, 1, -1):
        below = []
        for n in frontier:
            p = page(n)
            unused, entries, first_child = struct.unpack_from("<Hhh", p, 0)
            pos = 6
            below.append(first_child)
            for _ in range(entries):
                key, child, pos = index_entry(p, pos)
                need(key == first_key_under(child, level - 1), "%s: index key of page %d" % (name, child))
                below.append(child)
            need(unused == page_size - pos, "%s: free space of index page %d" % (name, n))
        leftmost = below[0]
        frontier = below
    # Leaves: the chain from the leftmost leaf holds every entry in order.
    result, n, prev, seen, chain = [], leftmost, -1, set(), []
    while n != -1:
        need(n not in seen and 0 <= n < total, "%s: leaf chain broken at %d" % (name, n))
        seen.add(n)
        p = page(n)
        unused, entries, back, nxt = struct.unpack_from("<Hhhh", p, 0)
        need(back == prev, "%s: leaf %d points back to %d, not %d" % (name, n, back, prev))
        chain.append((len(result), n))
        pos = 8
        for _ in range(entries):
            key, value, pos = leaf_entry(p, pos)
            result.append((key, value))
        need(unused == page_size - pos, "%s: free space of leaf %d" % (name, n))
        prev, n = n, nxt
    if levels == 1:
        need(frontier == [root] and len(seen) == 1, "%s: one level but more leaves" % name)
    else:
        need(sorted(frontier) == sorted(seen), "%s: leaves reached through the index differ from the chain" % name)
    need(len(result) == count, "%s: %d entries, header says %d" % (name, len(result), count))
    keys = [order(k) for k, _ in result]
    need(all(a < b for a, b in zip(keys, keys[1:])), "%s: keys not in order" % name)
    return result, chain


class Topic:
    def __init__(self, number, title, offset, pos):
        self.number, self.title, self.offset, self.pos = number, title, offset, pos
        self.paragraphs = []   # (text, [(shown text, hash)], fonts used)

    def text(self, encoding="cp932"):
        return "\n".join(p[0].decode(encoding) for p in self.paragraphs)


class HelpFile:
    def __init__(self, data):
        self.data = data
        magic, dir_start, free, size = struct.unpack_from("<LLlL", data, 0)
        need(magic == 0x00035F3F, "file magic %x" % magic)
        need(size == len(data), "file size %d, header says %d" % (len(data), size))
        need(free == -1, "free list %d" % free)
        directory = self._internal_at(dir_start, "directory")
        entries, _ = read_btree(directory,
                                lambda p, i: (lambda k, j: (k, struct.unpack_from("<l", p, j)[0], j + 4))(*cstr(p, i)),
                                lambda p, i: (lambda k, j: (k, struct.unpack_from("<H", p, j)[0], j + 2))(*cstr(p, i)),
                                "directory")
        self.files = {}
        spans = [(dir_start, dir_start + 9 + len(directory))]
        for key, offset in entries:
            body = self._internal_at(offset, key)
            self.files[key.decode("ascii")] = body
            spans.append((offset, offset + 9 + len(body)))
        spans.sort()
        for (a0, a1), (b0, b1) in zip(spans, spans[1:]):
            need(a1 <= b0, "internal files overlap at %d" % b0)
        need(spans[0][0] >= 16 and spans[-1][1] <= len(data), "internal file outside the file")
        self._read_system()
        self._read_fonts()
        self._read_topics()
        self._read_context()
        self._read_map()
        self._read_titles()
        self._read_keywords()

    def _internal_at(self, offset, name):
        need(16 <= offset and offset + 9 <= len(self.data), "%s: offset %d" % (name, offset))
        reserved, used, flags = struct.unpack_from("<LLB", self.data, offset)
        need(reserved >= used + 9 and offset + reserved <= len(self.data), "%s: sizes %d/%d" % (name, reserved, used))
        return self.data[offset + 9: offset + 9 + used]

    def _read_system(self):
        d = self.files["|SYSTEM"]
        magic, minor, major, _date, flags = struct.unpack_from("<HHHlH", d, 0)
        need(magic == 0x036C and major == 1 and minor > 16, "system header")
        need(flags == 0, "only uncompressed topics are read (flags %d)" % flags)
        self.system = {}
        pos = 12
        while pos < len(d):
            kind, size = struct.unpack_from("<HH", d, pos)
            need(pos + 4 + size <= len(d), "system record %d overruns" % kind)
            self.system[kind] = d[pos + 4: pos + 4 + size]
            pos += 4 + size
        self.title = cstr(self.system[1], 0)[0]
        self.charset = self.system[11][0]
        need(len(self.system[3]) == 4, "contents record size")
        self.contents_offset = struct.unpack("<l", self.system[3])[0]

    def _read_fonts(self):
        d = self.files["|FONT"]
        faces, descs, face_off, desc_off = struct.unpack_from("<HHHH", d, 0)
        need(face_off == 8 and desc_off + 11 * descs == len(d), "font layout")
        face_len = (desc_off - face_off) // faces
        self.faces = [d[face_off + i * face_len: face_off + (i + 1) * face_len].rstrip(b"\0") for i in range(faces)]
        self.fonts = []
        for i in range(descs):
            attr, half, family, face, r, g, b = struct.unpack_from("<BBBH3B", d, desc_off + 11 * i)
            need(face < faces and 1 <= family <= 5, "font %d" % i)
            self.fonts.append({"bold": bool(attr & 1), "size": half, "face": self.faces[face], "color": (r, g, b)})

    def _read_topics(self):
        d = self.files["|TOPIC"]
        need(len(d) % 0x1000 == 0 and d, "topic blocks are whole")
        blocks = len(d) // 0x1000
        stream = b"".join(d[i * 0x1000 + 12:(i + 1) * 0x1000] for i in range(blocks))
        to_stream = lambda tp: (tp >> 14) * 0xFF4 + (tp & 0x3FFF) - 12

        self.topics, links = [], []
        ref, prev, block_chars = 12, -1, {}
        while ref != -1:
            s = to_stream(ref)
            need(0 <= s and s + 21 <= len(stream) and (ref & 0x3FFF) >= 12, "link position %x" % ref)
            size, len2, back, nxt, len1, kind = struct.unpack_from("<LLllLB", stream, s)
            need(back == prev, "link at %x points back to %x, not %x" % (ref, back, prev))
            need(21 <= len1 <= size and s + size <= len(stream), "link sizes at %x" % ref)
            need(len2 == size - len1, "link at %x is compressed" % ref)
            block = s // 0xFF4
            links.append((s, ref, kind))
            data1, data2 = stream[s + 21: s + len1], stream[s + len1: s + size]
            if kind == 0x02:
                need(len(data1) == 28, "topic header size")
                title = cstr(data2, 0)[0]
                t = Topic(len(self.topics), title, (block << 15) + block_chars.get(block, 0), ref)
                t.header = struct.unpack("<lllllll", data1)
                need(t.header[3] == t.number, "topic number %d" % t.number)
                self.topics.append(t)
            elif kind == 0x20:
                need(self.topics, "text before the first topic")
                para, chars = self._paragraph(data1, data2, ref)
                self.topics[-1].paragraphs.append(para)
                block_chars[block] = block_chars.get(block, 0) + chars
            else:
                raise FormatError("record type %x at %x" % (kind, ref))
            prev, ref = ref, nxt
        need(self.topics, "no topics")
        # Block headers name the first link that starts in each block.
        for b in range(blocks):
            last_link, first_link, last_header = struct.unpack_from("<lll", d, b * 0x1000)
            inside = [r for s, r, _ in links if b * 0xFF4 <= s < (b + 1) * 0xFF4]
            before = [(r, k) for s, r, k in links if s < b * 0xFF4]
            need(first_link == (inside[0] if inside else -1), "block %d: first link" % b)
            need(last_link == (before[-1][0] if before else -1), "block %d: last link" % b)
            headers = [r for r, k in before if k == 0x02]
            need(last_header == (headers[-1] if headers else -1), "block %d: last topic header" % b)
        # Topic headers: browse order, next topic, first paragraph.
        by_offset = [t.offset for t in self.topics]
        need(by_offset == sorted(set(by_offset)), "topic offsets do not grow")
        for i, t in enumerate(self.topics):
            _size, bwd, fwd, _n, nonscroll, scroll, next_topic = t.header
            need(bwd == (self.topics[i - 1].offset if i else -1), "browse back of topic %d" % i)
            need(fwd == (self.topics[i + 1].offset if i + 1 < len(self.topics) else -1), "browse on of topic %d" % i)
            need(next_topic == (self.topics[i + 1].pos if i + 1 < len(self.topics) else -1), "next of topic %d" % i)
            need(nonscroll == -1 and scroll != -1, "regions of topic %d" % i)

    def _paragraph(self, data1, data2, ref):
        r = Reader(data1)
        size = r.comp_long()
        chars = r.comp_ushort()
        need(size == len(data2), "paragraph at %x: text size" % ref)
        r.pos += 4
        bits = r.take("<H")
        need(bits & ~0x0076 == 0, "paragraph at %x: settings %x" % (ref, bits))
        for b in (0x0002, 0x0004, 0x0008, 0x0010, 0x0020, 0x0040):
            if bits & b:
                r.comp_short()
        texts = data2.split(b"\0")
        need(texts[-1] == b"", "paragraph at %x: text not terminated" % ref)
        texts = texts[:-1]
        shown, jumps, fonts, counted, open_jump = b"", [], set(), 0, None
        for i, t in enumerate(texts):
            shown += t
            counted += len(t)
            if open_jump is not None and t:
                open_jump[0] += t
            c = r.byte()
            if c == 0xFF:
                need(i == len(texts) - 1, "paragraph at %x: %d texts for %d commands" % (ref, len(texts), i))
                break
            if c == 0x80:
                f = r.take("<H")
                need(f < len(self.fonts), "paragraph at %x: font %d" % (ref, f))
                fonts.add(f)
            elif c in (0x81, 0x82, 0x83):
                counted += 1
                shown += b"\n" if c != 0x83 else b"\t"
            elif c in (0xE2, 0xE3):
                need(open_jump is None, "paragraph at %x: nested jump" % ref)
                open_jump = [b"", r.take("<l")]
            elif c == 0x89:
                need(open_jump is not None, "paragraph at %x: hotspot end without jump" % ref)
                jumps.append(tuple(open_jump))
                open_jump = None
            else:
                raise FormatError("paragraph at %x: command %x" % (ref, c))
        else:
            raise FormatError("paragraph at %x: no end command" % ref)
        need(r.pos == len(data1), "paragraph at %x: bytes after the end" % ref)
        need(open_jump is None, "paragraph at %x: jump not closed" % ref)
        need(counted == chars, "paragraph at %x: %d characters, says %d" % (ref, counted, chars))
        return (shown.rstrip(b"\n"), jumps, fonts), chars

    def _read_context(self):
        entries, _ = read_btree(self.files["|CONTEXT"],
                                lambda p, i: (*struct.unpack_from("<ll", p, i), i + 8),
                                lambda p, i: (*struct.unpack_from("<lH", p, i), i + 6),
                                "|CONTEXT")
        self.context = dict(entries)

    def _read_map(self):
        d = self.files["|CTXOMAP"]
        n = struct.unpack_from("<H", d, 0)[0]
        need(len(d) == 2 + 8 * n, "|CTXOMAP size")
        self.map = dict(struct.unpack_from("<ll", d, 2 + 8 * i) for i in range(n))

    def _read_titles(self):
        def leaf(p, i):
            off = struct.unpack_from("<l", p, i)[0]
            title, j = cstr(p, i + 4)
            return off, title, j

        entries, _ = read_btree(self.files["|TTLBTREE"], leaf,
                                lambda p, i: (*struct.unpack_from("<lH", p, i), i + 6), "|TTLBTREE")
        need([(t.offset, t.title) for t in self.topics] == entries, "|TTLBTREE does not list the topics")

    def _read_keywords(self):
        def leaf(p, i):
            k, j = cstr(p, i)
            count, off = struct.unpack_from("<hl", p, j)
            return k, (count, off), j + 6

        def index(p, i):
            k, j = cstr(p, i)
            return k, struct.unpack_from("<H", p, j)[0], j + 2

        entries, leaves = read_btree(self.files["|KWBTREE"], leaf, index, "|KWBTREE", caseless)
        data = self.files["|KWDATA"]
        self.keywords = {}
        for k, (count, off) in entries:
            need(count > 0 and off % 4 == 0 and off + 4 * count <= len(data), "keyword %r data" % k)
            self.keywords[k] = list(struct.unpack_from("<%dl" % count, data, off))
        m = self.files["|KWMAP"]
        n = struct.unpack_from("<H", m, 0)[0]
        need(len(m) == 2 + 6 * n, "|KWMAP size")
        kwmap = [struct.unpack_from("<lH", m, 2 + 6 * i) for i in range(n)]
        need(kwmap == leaves, "|KWMAP %s does not match the leaves %s" % (kwmap, leaves))

    # ---------------------------------------------------------------- look-ups
    def topic_at(self, offset):
        """The topic an offset names; only exact topic starts count."""
        for t in self.topics:
            if t.offset == offset:
                return t
        raise FormatError("offset %x is no topic start" % offset)

    def topic_by_context(self, name):
        h = viewer_hash(name)
        need(h in self.context, "context %s (hash %x) missing" % (name, h & 0xFFFFFFFF))
        return self.topic_at(self.context[h])

    def resolve_all(self):
        """Every reference in the file leads to a topic start; answers their count."""
        refs = [self.contents_offset] + list(self.context.values()) + list(self.map.values())
        for offsets in self.keywords.values():
            refs += offsets
        for t in self.topics:
            for _, jumps, _ in t.paragraphs:
                for _, h in jumps:
                    need(h in self.context, "jump in %r to unknown hash %x" % (t.title, h & 0xFFFFFFFF))
        for off in refs:
            self.topic_at(off)
        return len(refs)


def main(argv):
    with open(argv[0], "rb") as f:
        h = HelpFile(f.read())
    h.resolve_all()
    print("title:", h.title.decode("cp932"), " charset:", h.charset)
    for t in h.topics:
        maps = [m for m, o in h.map.items() if o == t.offset]
        print("%08x %s %s" % (t.offset, t.title.decode("cp932"), maps or ""))
    print("keywords:", len(h.keywords))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
