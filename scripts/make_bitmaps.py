#!/usr/bin/env python3
"""Draws the module's 16 x 16, 16-colour toolbar pictures into resources/bitmaps/, and
the same pictures as the QGIS plugin's icons into qgis/plenthtools/icons/ (PNG, 32 x 32,
each cell doubled, the grey background see-through).

Each picture is drawn as 16 rows of 16 palette letters; run this after changing one.
"""
import os
import struct
import zlib

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
# Letters used in the drawings.
INDEX = {'k': 0, 'm': 1, 'g': 2, 'o': 3, 'n': 4, 'p': 5, 't': 6, 's': 7, 'd': 8, 'r': 9, 'l': 10,
         'y': 11, 'b': 12, 'f': 13, 'a': 14, '.': 7, 'w': 15}

PICTURES = {
    # A yellow circular figure outlined in black.
    'createpointgridtool': [
        '................', '.....kkkkkk.....', '...kkyyyyyykk...', '..kyyyyyyyyyyk..',
        '..kyyyyyyyyyyk..', '.kyyyyyyyyyyyyk.', '.kyyyyyyyyyyyyk.', '.kyyyyyyyyyyyyk.',
        '.kyyyyyyyyyyyyk.', '.kyyyyyyyyyyyyk.', '.kyyyyyyyyyyyyk.', '..kyyyyyyyyyyk..',
        '..kyyyyyyyyyyk..', '...kkyyyyyykk...', '.....kkkkkk.....', '................'],
    # A polygon over a grid of classes.
    'polyclip': [
        '................', '.gggglllgggglll.', '.gkkkkkkkkkklll.', '.gkllllgggglkll.',
        '.lkllllgggglkgg.', '.lkllllgggglkgg.', '.lkggggllllgkgg.', '.gkggggllllgkll.',
        '.gkggggllllgkll.', '.gkllllggggkgll.', '.lkllllgggkgggg.', '.lkllllggkggggg.',
        '.lkkkkkkkkgggg..', '.gggglllgggglll.', '................', '................'],
    # The letters G and S.
    'gridspot': [
        '................', '................', '..kkkk....kkkk..', '.kk..kk..kk..kk.',
        '.kk......kk.....', '.kk......kk.....', '.kk.kkk...kkk...', '.kk..kk.....kk..',
        '.kk..kk......kk.', '.kk..kk......kk.', '.kk..kk..kk..kk.', '..kkkkk...kkkk..',
        '................', '................', '................', '................'],
    # A slope with a walker's path.
    'effortsurface': [
        '................', '................', '...........k....', '..........kmk...',
        '.........kmmmk..', '........kmmmmmk.', '.......kmmrmmmk.', '......kmmmrmmmk.',
        '.....kmmmmmrmmk.', '....kmmmmmmrmmk.', '...kmmmmmmmmrmk.', '..kmmmmmmmmmmrk.',
        '.kkkkkkkkkkkkkk.', '................', '................', '................'],
    # Red letters on grey.
    'exportgrid': [
        '................', '................', '.rrrr.r...r.....', '.r.....r.r......',
        '.r......r.......', '.rrr....r.......', '.r......r.......', '.r.....r.r......',
        '.rrrr.r...r.....', '................', '.........rrrr...', '.........r...r..',
        '.........rrrr...', '.........r......', '.........r......', '................'],
    'importgrid': [
        '................', '................', '.bbb.b...b......', '..b..bb.bb......',
        '..b..b.b.b......', '..b..b...b......', '..b..b...b......', '..b..b...b......',
        '.bbb.b...b......', '................', '.........bbbb...', '.........b...b..',
        '.........bbbb...', '.........b......', '.........b......', '................'],
    # A line and its bearing from north.
    'lineorientation': [
        '................', '.......k........', '.......k.....n..', '.......k....n...',
        '.......k...n....', '.......k..n.....', '.......k.n......', '.......kn.......',
        '.......n........', '......n.........', '.....n..........', '....n...........',
        '...n............', '................', '................', '................'],
    # A yellow folder.
    'browse': [
        '................', '................', '..kkkk..........', '.kyyyyk.........',
        '.kyyyyykkkkkkk..', '.kyyyyyyyyyyyk..', '.kyyyyyyyyyyyk..', '.kyyyyyyyyyyyk..',
        '.kyyyyyyyyyyyk..', '.kyyyyyyyyyyyk..', '.kyyyyyyyyyyyk..', '.kyyyyyyyyyyyk..',
        '.kkkkkkkkkkkkk..', '................', '................', '................'],
}


def bmp(rows):
    assert len(rows) == 16 and all(len(r) == 16 for r in rows)
    stride = 8  # 16 pixels of 4 bits
    pixels = b''.join(
        bytes((INDEX[row[2 * i]] << 4) | INDEX[row[2 * i + 1]] for i in range(stride))
        for row in reversed(rows))  # bottom-up
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    offset = 14 + 40 + len(palette)
    info = struct.pack('<IiiHHIIiiII', 40, 16, 16, 1, 4, 0, len(pixels), 3780, 3780, 16, 0)
    header = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    return header + info + palette + pixels


def png(rows, scale=2):
    """The picture as an RGBA PNG, each cell `scale` pixels wide and high, '.' transparent."""
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))

    lines = []
    for row in rows:
        line = b''.join(bytes((*PALETTE[INDEX[c]], 0 if c == '.' else 255)) * scale for c in row)
        lines += [b'\0' + line] * scale  # filter type 0 before each line
    size = 16 * scale
    header = struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)  # 8 bits per channel, RGBA
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) + chunk(b'IDAT', zlib.compress(b''.join(lines), 9)) +
            chunk(b'IEND', b''))


if __name__ == '__main__':
    root = os.path.join(os.path.dirname(__file__), '..')
    out = os.path.join(root, 'resources', 'bitmaps')
    icons = os.path.join(root, 'qgis', 'plenthtools', 'icons')
    os.makedirs(out, exist_ok=True)
    os.makedirs(icons, exist_ok=True)
    for name, rows in PICTURES.items():
        with open(os.path.join(out, name + '.bmp'), 'wb') as f:
            f.write(bmp(rows))
        if name != 'browse':  # the dialogs' browse button has no algorithm
            with open(os.path.join(icons, name + '.png'), 'wb') as f:
                f.write(png(rows))
