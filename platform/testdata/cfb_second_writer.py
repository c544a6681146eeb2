#!/usr/bin/python3
# Copyright the kvstore authors.
#
# A second writer of compound files (version 3), written apart from the
# library's own writer and laying files out differently, so that the library's
# reader meets layouts that it never writes itself:
#   - the FAT, and the DIFAT when one is needed, at the end of the file;
#   - every other sector drawn from a shuffled pool, so that chains jump back
#     and forth, with free sectors left among them;
#   - directory entries numbered in a shuffled order, with all-zero unused
#     entries among them;
#   - sibling trees as chains (linked through the right pointers in ascending
#     order, or through the left pointers in descending order) or as
#     unbalanced search trees, every entry black;
#   - the mini sectors of the small streams drawn from a shuffled pool;
#   - storages with start ENDOFCHAIN and a modification time, minor version
#     0x33.
# Streams of 1 to 4095 bytes go to the mini stream and larger ones to regular
# sectors, as the format requires of every writer.
#
# Usage: cfb_second_writer.py LAYOUT.json OUT [SEED]
#   LAYOUT is a JSON list of elements, parents before their children:
#     {"path": ["a", "b"], "storage": true}     a storage
#     {"path": ["a", "b", "x"], "hex": "0102"}  a stream and its bytes
#   SEED (default 1) chooses the shuffles; the same seed gives the same file.
import json
import random
import struct
import sys

ENDOFCHAIN = 0xFFFFFFFE
FREESECT = 0xFFFFFFFF
FATSECT = 0xFFFFFFFD
DIFSECT = 0xFFFFFFFC
NOSTREAM = 0xFFFFFFFF
SECTOR = 512
MINI = 64
CUTOFF = 4096
FREE_SECTORS = 2  # left unused among the data sectors
STORAGE_TIME = 0x01D4F0A1B2C3D4E5


def upper(unit):
    """The simple upper case of one UTF-16 unit (itself when there is none)."""
    if 0xD800 <= unit <= 0xDFFF:
        return unit
    up = chr(unit).upper()
    return ord(up) if len(up) == 1 and ord(up) < 0x10000 else unit


def units(name):
    raw = name.encode("utf-16-le", "surrogatepass")
    return [raw[i] | raw[i + 1] << 8 for i in range(0, len(raw), 2)]


def order_key(name):
    u = units(name)
    return (len(u), [upper(x) for x in u])


def ceil_div(a, b):
    return (a + b - 1) // b


def difat_count(f):
    return 0 if f <= 109 else ceil_div(f - 109, 127)


class Node:
    def __init__(self, name, storage, data=b""):
        self.name = name
        self.storage = storage
        self.data = data
        self.children = []
        self.id = None
        self.left = self.right = self.child = NOSTREAM
        self.start = ENDOFCHAIN


def build_tree(layout):
    root = Node("Root Entry", True)
    for item in layout:
        parent = root
        for name in item["path"][:-1]:
            parent = next(c for c in parent.children if c.name == name)
        name = item["path"][-1]
        if item.get("storage"):
            parent.children.append(Node(name, True))
        else:
            parent.children.append(Node(name, False, bytes.fromhex(item["hex"])))
    return root


def link_siblings(storage, depth, rng):
    kids = sorted(storage.children, key=lambda n: order_key(n.name))
    if not kids:
        return
    style = depth % 3
    if style == 0:  # ascending chain through the right pointers
        for a, b in zip(kids, kids[1:]):
            a.right = b.id
        storage.child = kids[0].id
    elif style == 1:  # descending chain through the left pointers
        for a, b in zip(kids[1:], kids):
            a.left = b.id
        storage.child = kids[-1].id
    else:  # a search tree built by inserting in a random order
        shuffled = kids[:]
        rng.shuffle(shuffled)
        top = shuffled[0]
        by_id = {n.id: n for n in kids}
        for n in shuffled[1:]:
            at = top
            while True:
                if order_key(n.name) < order_key(at.name):
                    if at.left == NOSTREAM:
                        at.left = n.id
                        break
                    at = by_id[at.left]
                else:
                    if at.right == NOSTREAM:
                        at.right = n.id
                        break
                    at = by_id[at.right]
        storage.child = top.id


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit("usage: cfb_second_writer.py LAYOUT.json OUT [SEED]")
    with open(sys.argv[1], encoding="utf-8") as f:
        layout = json.load(f)
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) == 4 else 1)
    root = build_tree(layout)

    # Every element with its depth, depth first.
    nodes, storages = [], [(root, 0)]
    stack = [(c, 1) for c in reversed(root.children)]
    while stack:
        n, depth = stack.pop()
        nodes.append(n)
        if n.storage:
            storages.append((n, depth))
            stack.extend((c, depth + 1) for c in reversed(n.children))

    # Entry ids: the root first, then the elements and a few unused entries
    # in a shuffled order.
    unused = 2 + (-(len(nodes) + 3)) % 4
    slots = nodes + [None] * unused
    rng.shuffle(slots)
    entries = [root] + slots
    for i, n in enumerate(entries):
        if n is not None:
            n.id = i
    for storage, depth in storages:
        link_siblings(storage, depth, rng)

    # Small streams take shuffled mini sectors, in reverse order of their ids.
    small = sorted((n for n in nodes if not n.storage and 0 < len(n.data) < CUTOFF),
                   key=lambda n: -n.id)
    large = sorted((n for n in nodes if not n.storage and len(n.data) >= CUTOFF),
                   key=lambda n: -n.id)
    mini_count = sum(ceil_div(len(n.data), MINI) for n in small)
    mini_pool = list(range(mini_count))
    rng.shuffle(mini_pool)
    mini_fat = [FREESECT] * (ceil_div(mini_count, 128) * 128)
    ministream = bytearray(ceil_div(mini_count * MINI, SECTOR) * SECTOR)
    for n in small:
        chain = [mini_pool.pop() for _ in range(ceil_div(len(n.data), MINI))]
        for a, b in zip(chain, chain[1:] + [ENDOFCHAIN]):
            mini_fat[a] = b
        for k, m in enumerate(chain):
            piece = n.data[k * MINI:(k + 1) * MINI]
            ministream[m * MINI:m * MINI + len(piece)] = piece
        n.start = chain[0]

    # Regular sectors: data from a shuffled pool, then the FAT and the DIFAT.
    dir_bytes = bytearray()
    dir_count = ceil_div(len(entries), 4)
    mini_fat_count = ceil_div(mini_count, 128)
    ministream_count = len(ministream) // SECTOR
    data_count = (dir_count + mini_fat_count + ministream_count +
                  sum(ceil_div(len(n.data), SECTOR) for n in large) + FREE_SECTORS)
    fat_count = 1
    while 128 * fat_count < data_count + fat_count + difat_count(fat_count):
        fat_count += 1
    difat = difat_count(fat_count)
    total = data_count + fat_count + difat
    fat = [FREESECT] * (128 * fat_count)
    sectors = [bytes(SECTOR)] * total
    pool = list(range(data_count))
    rng.shuffle(pool)

    def store(data):
        """Puts data into sectors from the pool, chained; returns the first."""
        chain = [pool.pop() for _ in range(ceil_div(len(data), SECTOR))]
        for a, b in zip(chain, chain[1:] + [ENDOFCHAIN]):
            fat[a] = b
        for k, s in enumerate(chain):
            sectors[s] = bytes(data[k * SECTOR:(k + 1) * SECTOR]).ljust(SECTOR, b"\0")
        return chain[0] if chain else ENDOFCHAIN

    for n in large:
        n.start = store(n.data)
    ministream_start = store(ministream)
    mini_fat_start = store(b"".join(struct.pack("<I", v) for v in mini_fat))

    for n in entries:
        if n is None:
            dir_bytes += bytes(128)
            continue
        name = units(n.name)
        e = bytearray(128)
        for i, u in enumerate(name):
            struct.pack_into("<H", e, 2 * i, u)
        struct.pack_into("<H", e, 0x40, 2 * (len(name) + 1))
        e[0x42] = 5 if n is root else (1 if n.storage else 2)
        e[0x43] = 1
        struct.pack_into("<III", e, 0x44, n.left, n.right, n.child)
        if n is root:
            struct.pack_into("<II", e, 0x74, ministream_start if mini_count else ENDOFCHAIN,
                             mini_count * MINI)
        elif n.storage:
            struct.pack_into("<QQ", e, 0x64, STORAGE_TIME, STORAGE_TIME)
            struct.pack_into("<I", e, 0x74, ENDOFCHAIN)
        else:
            struct.pack_into("<II", e, 0x74, n.start, len(n.data))
        dir_bytes += e
    while len(dir_bytes) % SECTOR:
        dir_bytes += bytes(128)
    dir_start = store(dir_bytes)

    fat_sectors = list(range(data_count, data_count + fat_count))
    difat_sectors = list(range(data_count + fat_count, total))
    for s in fat_sectors:
        fat[s] = FATSECT
    for s in difat_sectors:
        fat[s] = DIFSECT
    for k, s in enumerate(fat_sectors):
        sectors[s] = b"".join(struct.pack("<I", v) for v in fat[128 * k:128 * (k + 1)])
    for k, s in enumerate(difat_sectors):
        numbers = fat_sectors[109 + 127 * k:109 + 127 * (k + 1)]
        numbers += [FREESECT] * (127 - len(numbers))
        numbers.append(difat_sectors[k + 1] if k + 1 < difat else ENDOFCHAIN)
        sectors[s] = b"".join(struct.pack("<I", v) for v in numbers)

    header = bytearray(SECTOR)
    header[0:8] = bytes.fromhex("D0CF11E0A1B11AE1")
    struct.pack_into("<HHHHH", header, 0x18, 0x33, 3, 0xFFFE, 9, 6)
    struct.pack_into("<IIIIIIII", header, 0x2C, fat_count, dir_start, 0, CUTOFF,
                     mini_fat_start if mini_count else ENDOFCHAIN, mini_fat_count,
                     difat_sectors[0] if difat else ENDOFCHAIN, difat)
    slots = fat_sectors[:109] + [FREESECT] * (109 - min(109, fat_count))
    struct.pack_into("<109I", header, 0x4C, *slots)

    with open(sys.argv[2], "wb") as out:
        out.write(header)
        for s in sectors:
            out.write(s)


if __name__ == "__main__":
    main()
