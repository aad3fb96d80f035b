#!/usr/bin/env python3
"""Build the demo Half-Life installation under demo/Half-Life.

The tree is small but every file has the binary layout the real game and
bots use: an empty WAD3 file, BSP version 30 maps, Pod Bot waypoints
("PODWAY!" header, format versions 5 to 7 with their node records),
HPB Bot and Joe Bot waypoints, PodBot.cfg and Joe Bot's dir.txt with the
CR LF line ends of files written on Windows.

Output is deterministic: running the script again gives the same bytes.
It also writes demo/mtimes.txt, the last-write times that scripts/demo-tree.sh
applies to a copy of the tree (git does not keep file times).

Usage: python3 demo/tools/make_demo.py [--out DEMO_DIR]
"""

import argparse
import math
import os
import random
import shutil
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_DEMO_DIR = os.path.dirname(HERE)

# Map files of the demo, as they are named on disk.
MAPS = [
    "de_dust.bsp",
    "de_dust2.bsp",
    "cs_italy.bsp",
    "cs_office.bsp",
    "de_aztec.bsp",
    "de_nuke.bsp",
    "de_inferno.bsp",
    "as_oilrig.bsp",
    "tr_target.bsp",
    "cs_town.final.bsp",  # several dots: the waypoint name keeps the part before the first
    "de_Train.bsp",  # waypoint file DE_TRAIN.pwf differs only in case
    "cs_assault.bsp",
]

# Pod Bot waypoints: file name, format version, author, node count, mtime.
# Versions 5, 6 and 7 are the three formats Pod Bot writes (shown as
# "Pre v1.4", "v1.4" and "v2").
PODBOT_WAYPOINTS = [
    ("de_dust.pwf", 7, "Sgt.Mango", 24, "2003-06-14 21:37"),
    ("de_dust2.pwf", 7, "[NZ]Kiwi", 27, "2004-02-03 19:05"),
    ("cs_italy.pwf", 6, "Rattlesnake", 38, "2002-09-22 16:48"),
    ("de_aztec.pwf", 7, "LadyHawk", 19, "2003-11-30 23:12"),
    ("de_nuke.pwf", 5, "", 44, "2001-07-08 14:20"),  # early file, no author recorded
    ("as_oilrig.pwf", 6, "b0nes", 33, "2002-12-24 10:02"),
    ("cs_town.pwf", 7, "Dr. Waypoint", 16, "2004-05-17 08:45"),
    ("DE_TRAIN.pwf", 5, "Tumbleweed", 41, "2001-11-03 02:59"),
    # no map installed for these two
    ("de_vertigo.pwf", 6, "Old Man Jenkins of the Hills!!", 30, "2002-04-01 12:00"),
    ("cs_havana.pwf", 7, "Sgt.Mango", 21, "2003-08-19 17:26"),
]

# HPB Bot keeps its waypoints beside the maps.
HPB_WAYPOINTS = [
    ("de_dust.wpt", 4, 52, "2002-03-11 20:14"),
    ("cs_office.wpt", 4, 47, "2002-10-05 18:33"),
    ("de_nuke.wpt", 3, 38, "2001-09-16 22:41"),
    ("cs_siege.wpt", 4, 35, "2003-01-27 13:09"),  # no map installed
]

# Joe Bot waypoint sets (subdirectories of JoeBot/wpjs named in dir.txt).
JOEBOT_SETS = ["std", "team1"]
JOEBOT_WAYPOINTS = [
    ("std", "de_dust.wpj", 5, 45, "2002-08-02 15:55"),
    ("std", "de_aztec.wpj", 5, 39, "2002-08-03 11:20"),
    ("std", "cs_italy.wpj", 5, 42, "2002-08-04 09:47"),
    ("team1", "de_dust.wpj", 6, 50, "2003-03-15 19:30"),
    ("team1", "de_dust2.wpj", 6, 36, "2003-03-22 21:08"),
    ("team1", "cs_office.wpj", 6, 31, "2004-01-10 16:16"),
]

PODBOT_CFG = [
    "# PODBot configuration file",
    "# Lines starting with # or // are comments.",
    "#",
    "# Folder below PODBot that holds the waypoint files (*.pwf).",
    "// wptfolder wptold",
    "wptfolder wptdefault",
    "",
    "# Bot skill range (0-100)",
    "pb minbotskill 60",
    "pb maxbotskill 95",
    "",
    "# Keep between 4 and 10 bots on the server",
    "pb minbots 4",
    "pb maxbots 10",
    "",
    "# Chat, radio and jumping",
    "pb botchat on",
    "pb jasonmode off",
    "pb detailnames 0",
    "pb spray 1",
    "",
    "# Weapon restrictions (0 = allowed)",
    "pb_restrictweapons 0",
]

JOEBOT_DIR_TXT = [
    "# waypoint sets, searched in this order",
    "",
    "std",
    "team1",
]

BSP_VERSION = 30
BSP_LUMPS = 15
LUMP_ENTITIES, LUMP_PLANES, LUMP_TEXTURES, LUMP_LEAVES, LUMP_MODELS = 0, 1, 2, 10, 14
CONTENTS_SOLID = -2

POD_FLAGS = [0, 0, 0, 0, 1 << 2, 1 << 3, 1 << 4, 1 << 7, 1 << 29, 1 << 30]


def crlf(lines):
    return "".join(line + "\r\n" for line in lines).encode("ascii")


def fixed(text, width):
    raw = text.encode("latin-1")
    if len(raw) >= width:
        raise ValueError(f"{text!r} does not fit {width} bytes with its NUL")
    return raw + b"\0" * (width - len(raw))


def pad4(data):
    return data + b"\0" * (-len(data) % 4)


def wad3():
    # Empty WAD3: magic, 0 entries, directory right after the 12-byte header.
    return b"WAD3" + struct.pack("<ii", 0, 12)


def bsp(map_file, rng):
    base = map_file.split(".", 1)[0]
    spawns = []
    for team in ("info_player_start", "info_player_deathmatch"):
        x, y, z = rng.randrange(-2048, 2048), rng.randrange(-2048, 2048), rng.randrange(-64, 256)
        spawns.append(
            '{\n"classname" "%s"\n"angles" "0 %d 0"\n"origin" "%d %d %d"\n}\n'
            % (team, rng.choice((0, 90, 180, 270)), x, y, z)
        )
    entities = (
        '{\n"classname" "worldspawn"\n"message" "%s"\n"mapversion" "220"\n'
        '"wad" "\\half-life\\cstrike\\cstrike.wad"\n"skyname" "cx"\n}\n' % base
        + "".join(spawns)
    ).encode("ascii") + b"\0"

    planes = struct.pack("<4fi", 0.0, 0.0, 1.0, 0.0, 2)  # one axial plane
    textures = struct.pack("<i", 0)  # texture lump with no textures
    half = 4096.0
    leaves = struct.pack("<ii6hHH4B", CONTENTS_SOLID, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)
    models = struct.pack(
        "<9f4i3i", -half, -half, -half, half, half, half, 0.0, 0.0, 0.0, -1, -1, -1, -1, 0, 0, 0
    )
    payload = {
        LUMP_ENTITIES: entities,
        LUMP_PLANES: planes,
        LUMP_TEXTURES: textures,
        LUMP_LEAVES: leaves,
        LUMP_MODELS: models,
    }

    offset = 4 + BSP_LUMPS * 8
    directory = []
    body = b""
    for lump in range(BSP_LUMPS):
        data = pad4(payload.get(lump, b""))
        directory.append((offset, len(payload.get(lump, b""))))
        body += data
        offset += len(data)
    header = struct.pack("<i", BSP_VERSION) + b"".join(struct.pack("<ii", o, n) for o, n in directory)
    out = header + body
    assert len(out) < 1024, (map_file, len(out))
    return out


def nodes(count, rng):
    """Node positions and up to 8 neighbours each, like a walked waypoint graph."""
    pos = []
    x, y, z = rng.uniform(-1500, 1500), rng.uniform(-1500, 1500), rng.uniform(-100, 200)
    for _ in range(count):
        x += rng.uniform(-180, 180)
        y += rng.uniform(-180, 180)
        z += rng.choice((0, 0, 0, 0, 16, -16, 36))
        pos.append((x, y, z))
    links = []
    for i, p in enumerate(pos):
        near = sorted(
            (j for j in range(count) if j != i), key=lambda j: math.dist(p, pos[j])
        )[: rng.randint(2, 5)]
        links.append(near)
    return pos, links


def podbot_pwf(map_base, version, author, count, rng):
    header = (
        b"PODWAY!\0"
        + struct.pack("<ii", version, count)
        + fixed(map_base, 32)
        + fixed(author, 32)
    )
    assert len(header) == 80
    pos, links = nodes(count, rng)
    slots = 8 if version >= 6 else 4
    next_ptr = 0x0A3F1000  # the saved 32-bit list pointer, meaningless on disk
    body = b""
    for i, (p, near) in enumerate(zip(pos, links)):
        near = near[:slots]
        index = near + [-1] * (slots - len(near))
        dist = [int(math.dist(p, pos[j])) for j in near] + [0] * (slots - len(near))
        radius = float(rng.choice((0, 0, 16, 32, 48, 64, 96)))
        rec = struct.pack("<ii3ff4f", i, rng.choice(POD_FLAGS), *p, radius, 0.0, 0.0, 0.0, 0.0)
        rec += struct.pack("<%dh" % slots, *index)
        if version >= 7:
            rec += struct.pack("<8H", *([0] * 8))  # connection flags
            rec += struct.pack("<24f", *([0.0] * 24))  # connection velocities
        rec += struct.pack("<%di" % slots, *dist)
        rec += struct.pack("<I", next_ptr + 0xCC * (i + 1))
        body += rec
    record = {7: 204, 6: 92, 5: 68}[version]
    assert len(body) == record * count
    return header + body


def hpb_layout(filetype, map_base, version, count, rng):
    # HPB header: file type, version, flags, node count, map name; then the
    # nodes (flags, origin) and per node a count of paths and their indexes.
    header = filetype + struct.pack("<iii", version, 0, count) + fixed(map_base, 32)
    pos, links = nodes(count, rng)
    body = b"".join(struct.pack("<i3f", rng.choice((0, 0, 0, 1 << 2, 1 << 8)), *p) for p in pos)
    for near in links:
        near = near[:4]
        body += struct.pack("<h", len(near)) + struct.pack("<%dh" % len(near), *near)
    return header + body


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--out", default=DEFAULT_DEMO_DIR, help="demo directory (default: %(default)s)")
    args = ap.parse_args()

    demo = os.path.abspath(args.out)
    root = os.path.join(demo, "Half-Life")
    if os.path.isdir(root):
        shutil.rmtree(root)
    cstrike = os.path.join(root, "cstrike")
    maps_dir = os.path.join(cstrike, "maps")
    pod_dir = os.path.join(cstrike, "PODBot")
    joe_dir = os.path.join(cstrike, "JoeBot", "wpjs")

    rng = random.Random(20030614)
    mtimes = []

    def stamp(when, path):
        mtimes.append((when, os.path.relpath(path, demo)))

    write(os.path.join(cstrike, "cstrike.wad"), wad3())
    for m in MAPS:
        write(os.path.join(maps_dir, m), bsp(m, rng))

    write(os.path.join(pod_dir, "PodBot.cfg"), crlf(PODBOT_CFG))
    for name, version, author, count, when in PODBOT_WAYPOINTS:
        path = os.path.join(pod_dir, "wptdefault", name)
        write(path, podbot_pwf(name.split(".", 1)[0], version, author, count, rng))
        stamp(when, path)

    for name, version, count, when in HPB_WAYPOINTS:
        path = os.path.join(maps_dir, name)
        write(path, hpb_layout(b"HPB_bot\0", name.split(".", 1)[0], version, count, rng))
        stamp(when, path)

    write(os.path.join(joe_dir, "dir.txt"), crlf(JOEBOT_DIR_TXT))
    for wset in JOEBOT_SETS:
        os.makedirs(os.path.join(joe_dir, wset), exist_ok=True)
    for wset, name, version, count, when in JOEBOT_WAYPOINTS:
        path = os.path.join(joe_dir, wset, name)
        write(path, hpb_layout(b"HPB_bot\0", name.split(".", 1)[0], version, count, rng))
        stamp(when, path)

    with open(os.path.join(demo, "mtimes.txt"), "w", newline="\n") as f:
        for when, rel in mtimes:
            f.write(f"{when} {rel}\n")

    total = 0
    for dirpath, _, files in os.walk(root):
        total += sum(os.path.getsize(os.path.join(dirpath, n)) for n in files)
    print(f"wrote {root} ({total} bytes) and {os.path.join(demo, 'mtimes.txt')}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
