#!/usr/bin/env python3
"""Draws the editor's artwork: the logo at 100 % (150 x 57), 150 % and 200 %
display scale, and the program icon with its original 48 x 39 image and the
square sizes 16, 24, 32, 48 and 256. Each is stored as compactly as its format
allows without losing a pixel: the logo is opaque, so it holds 24 bits per
pixel (more colours than a palette holds), at 100 % as the bitmap resource that
the window loads, at 150 % and 200 % as PNG, which the editor decodes when a
window needs it; the icon's images are PNG with alpha, which Windows reads at
every size since Vista. Uses only the standard library and writes the BMP, ICO
and PNG bytes itself, so the images can be rebuilt anywhere:

    python3 ui/art/draw_art.py   # writes ui/art/logo.bmp, logo-150.png, logo-200.png, riverra.ico
"""
import math
import os
import struct
import zlib

SUPERSAMPLING = 4

# 5 x 7 capitals for the word mark.
GLYPHS = {
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "I": ["11111", "00100", "00100", "00100", "00100", "00100", "11111"],
    "V": ["10001", "10001", "10001", "10001", "01010", "01010", "00100"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
}

NAVY = (15, 39, 71)
TEAL = (27, 111, 132)
WAVE_COLOURS = [(64, 170, 196), (120, 214, 232), (235, 250, 252)]
WHITE = (255, 255, 255)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def gradient(x, y, width, height):
    # Diagonal from navy (upper left) to teal (lower right).
    t = (x / width) * 0.7 + (y / height) * 0.3
    return mix(NAVY, TEAL, min(1.0, max(0.0, t)))


def wave_centre(x, base, amplitude, wavelength, phase):
    return base + amplitude * math.sin(2 * math.pi * x / wavelength + phase)


class Canvas:
    """RGBA samples at SUPERSAMPLING times the final resolution."""

    def __init__(self, width, height):
        self.width, self.height = width, height
        self.w, self.h = width * SUPERSAMPLING, height * SUPERSAMPLING
        self.pixels = [[(0.0, 0.0, 0.0, 0.0)] * self.w for _ in range(self.h)]

    def paint(self, inside, colour, alpha=1.0):
        """Blends `colour` over every sample whose final-resolution centre satisfies `inside`."""
        for sy in range(self.h):
            y = (sy + 0.5) / SUPERSAMPLING
            row = self.pixels[sy]
            for sx in range(self.w):
                x = (sx + 0.5) / SUPERSAMPLING
                if inside(x, y):
                    c = colour(x, y) if callable(colour) else colour
                    r, g, b, a = row[sx]
                    row[sx] = (r + (c[0] - r) * alpha, g + (c[1] - g) * alpha,
                               b + (c[2] - b) * alpha, a + (1.0 - a) * alpha)

    def resolve(self, premultiplied):
        """Box-filters down to the final size: rows of (b, g, r, a) bytes, top row first.
        Bitmaps that Windows blends expect premultiplied colours; icons keep them straight."""
        rows = []
        n = SUPERSAMPLING * SUPERSAMPLING
        for y in range(self.height):
            row = []
            for x in range(self.width):
                acc = [0.0, 0.0, 0.0, 0.0]
                for sy in range(y * SUPERSAMPLING, (y + 1) * SUPERSAMPLING):
                    for sx in range(x * SUPERSAMPLING, (x + 1) * SUPERSAMPLING):
                        r, g, b, a = self.pixels[sy][sx]
                        acc[0] += r * a
                        acc[1] += g * a
                        acc[2] += b * a
                        acc[3] += a
                alpha = acc[3] / n
                if acc[3] > 0:
                    colour = [acc[i] / acc[3] for i in range(3)]
                else:
                    colour = [0.0, 0.0, 0.0]
                weight = alpha if premultiplied else 1.0
                row.append(tuple(int(round(c * weight)) for c in reversed(colour)) +
                           (int(round(alpha * 255)),))
            rows.append(row)
        return rows


def text_shape(text, left, top, cell, spacing):
    """The word in the 5 x 7 font, each font pixel a square of `cell` pixels."""
    advance = 5 * cell + spacing

    def inside(x, y):
        index = math.floor((x - left) / advance)
        if not 0 <= index < len(text):
            return False
        col = math.floor((x - left - index * advance) / cell)
        row = math.floor((y - top) / cell)
        return 0 <= col < 5 and 0 <= row < 7 and GLYPHS[text[index]][row][col] == "1"

    return inside


def wave_band(base, amplitude, wavelength, phase, thickness, x_from=-1e9, x_to=1e9):
    def inside(x, y):
        return x_from <= x <= x_to and abs(y - wave_centre(x, base, amplitude, wavelength, phase)) <= thickness / 2
    return inside


def rounded_rect(left, top, right, bottom, radius):
    def inside(x, y):
        if not (left <= x <= right and top <= y <= bottom):
            return False
        cx = min(max(x, left + radius), right - radius)
        cy = min(max(y, top + radius), bottom - radius)
        return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2
    return inside


def font_cell(scale):
    """Font pixels stay whole screen pixels, so the letters keep sharp edges at every
    size; rounded down, so that they keep clear of the waves."""
    return max(1, math.floor(3 * scale))


def draw_logo(scale):
    """The logo at `scale` times its 150 x 57 design."""
    width, height = round(150 * scale), round(57 * scale)
    canvas = Canvas(width, height)
    canvas.paint(lambda x, y: True, lambda x, y: gradient(x, y, width, height))
    # A thin darker frame keeps the badge distinct on light and dark backgrounds.
    frame = scale
    canvas.paint(lambda x, y: x < frame or y < frame or x >= width - frame or y >= height - frame, (10, 26, 48))
    for index, colour in enumerate(WAVE_COLOURS):
        canvas.paint(wave_band((40 + index * 4.5) * scale, 3.2 * scale, (62 - index * 6) * scale,
                               index * 1.3, (2.2 - index * 0.4) * scale),
                     colour, 0.9)
    cell = spacing = font_cell(scale)
    text_width = 7 * 5 * cell + 6 * spacing
    top = round(8 * scale + (21 * scale - 7 * cell) / 2)  # centred where the design has it
    canvas.paint(text_shape("RIVERRA", (width - text_width) // 2, top, cell, spacing), WHITE)
    return width, height, canvas.resolve(premultiplied=True)


def draw_icon(width, height):
    """The icon's 48 x 39 design scaled to the width and centred in the height."""
    scale = width / 48
    canvas = Canvas(width, height)
    margin, drop = scale, (height - 39 * scale) / 2
    canvas.paint(rounded_rect(margin, margin, width - margin, height - margin, 7 * scale),
                 lambda x, y: gradient(x, y, width, height))
    cell = font_cell(scale)
    # The letter centred on the design's 15 x 21 box.
    left = round(6 * scale + (15 * scale - 5 * cell) / 2)
    top = round(6 * scale + drop + (21 * scale - 7 * cell) / 2)
    canvas.paint(text_shape("R", left, top, cell, 0), WHITE)
    for index, colour in enumerate(WAVE_COLOURS):
        canvas.paint(wave_band((12 + index * 7) * scale + drop, 2.6 * scale, 17 * scale, index * 0.9,
                               (2.6 - index * 0.3) * scale, 24 * scale, 44 * scale),
                     colour, 0.95)
    return width, height, canvas.resolve(premultiplied=False)


def bmp_bytes(width, height, rows):
    """An opaque bitmap, 24 bits per pixel, rows bottom up and padded to four bytes."""
    assert all(pixel[3] == 255 for row in rows for pixel in row), "the logo must be opaque"
    padding = bytes(-3 * width % 4)
    pixels = b"".join(bytes(c for pixel in row for c in pixel[:3]) + padding for row in reversed(rows))
    # BITMAPINFOHEADER, uncompressed.
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(pixels), 0, 0, 14 + len(header))
    return file_header + header + pixels


def paeth(left, up, up_left):
    estimate = left + up - up_left
    return min((abs(estimate - left), 0, left), (abs(estimate - up), 1, up), (abs(estimate - up_left), 2, up_left))[2]


def filtered_rows(lines, stride, choose):
    """Each line with its PNG filter type byte first, the filter being
    choose(candidates): an index into the line filtered by each of the five."""
    previous = bytes(len(lines[0]))
    for line in lines:
        left = bytes(stride) + line
        up_left = bytes(stride) + previous
        candidates = [
            line,
            bytes((line[i] - left[i]) & 255 for i in range(len(line))),
            bytes((line[i] - previous[i]) & 255 for i in range(len(line))),
            bytes((line[i] - (left[i] + previous[i]) // 2) & 255 for i in range(len(line))),
            bytes((line[i] - paeth(left[i], previous[i], up_left[i])) & 255 for i in range(len(line))),
        ]
        kind = choose(candidates)
        yield bytes([kind]) + candidates[kind]
        previous = line


def smallest_image_data(lines, stride):
    """The compressed image data of the smallest of the usual choices: one
    filter for every line, or for each line the one with the least sum of its
    bytes taken as signed."""
    choices = [lambda candidates, kind=kind: kind for kind in range(5)]
    choices.append(lambda candidates: min(range(5), key=lambda k: sum(min(b, 256 - b) for b in candidates[k])))
    return min((zlib.compress(b"".join(filtered_rows(lines, stride, choose)), 9) for choose in choices), key=len)


def png_bytes(width, height, rows, opaque=False):
    """Straight RGBA, or RGB where the image is `opaque`."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    if opaque:
        assert all(pixel[3] == 255 for row in rows for pixel in row), "the image must be opaque"
        lines = [bytes(c for b, g, r, a in row for c in (r, g, b)) for row in rows]
    else:
        lines = [bytes(c for b, g, r, a in row for c in (r, g, b, a)) for row in rows]
    stride, colour_type = (3, 2) if opaque else (4, 6)
    header = struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", smallest_image_data(lines, stride)) +
            chunk(b"IEND", b""))


def ico_bytes(images):
    """`images`: (width, height, rows) each. A directory entry stores 256 as 0."""
    directory = struct.pack("<HHH", 0, 1, len(images))
    data = b""
    offset = 6 + 16 * len(images)
    for width, height, rows in images:
        image = png_bytes(width, height, rows)
        directory += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(image), offset + len(data))
        data += image
    return directory + data


# The logo's images by display scale, each with the bytes of its format; the
# resource script names them.
LOGO_FILES = {
    1.0: ("logo.bmp", bmp_bytes),
    1.5: ("logo-150.png", lambda *image: png_bytes(*image, opaque=True)),
    2.0: ("logo-200.png", lambda *image: png_bytes(*image, opaque=True)),
}
# The original image first, then the standard square sizes.
ICON_SIZES = [(48, 39), (16, 16), (24, 24), (32, 32), (48, 48), (256, 256)]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for scale, (name, image_bytes) in LOGO_FILES.items():
        with open(os.path.join(here, name), "wb") as f:
            f.write(image_bytes(*draw_logo(scale)))
    with open(os.path.join(here, "riverra.ico"), "wb") as f:
        f.write(ico_bytes([draw_icon(width, height) for width, height in ICON_SIZES]))


if __name__ == "__main__":
    main()
