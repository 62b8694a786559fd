#!/usr/bin/env python3
"""Draws the editor's artwork: the logo bitmap (150 x 57) and the program icon
(48 x 39), both 32 bits per pixel. Uses only the standard library and writes
the BMP and ICO bytes itself, so the images can be rebuilt anywhere:

    python3 ui/art/draw_art.py        # writes ui/art/logo.bmp and ui/art/riverra.ico
"""
import math
import os
import struct

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

    def resolve(self):
        """Box-filters down to the final size: rows of (b, g, r, a) bytes, top row first."""
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
                # Premultiplied, as Windows expects of 32-bit images with alpha.
                row.append(tuple(int(round(c * alpha)) for c in reversed(colour)) +
                           (int(round(alpha * 255)),))
            rows.append(row)
        return rows


def text_shape(text, left, top, scale, spacing):
    cells = set()  # upper left corners of the font pixels
    for index, letter in enumerate(text):
        glyph = GLYPHS[letter]
        gx = left + index * (5 * scale + spacing)
        for row, bits in enumerate(glyph):
            for col, bit in enumerate(bits):
                if bit == "1":
                    cells.add((gx + col * scale, top + row * scale))

    def inside(x, y):
        for cx in (int(x) - k for k in range(scale)):
            for cy in (int(y) - k for k in range(scale)):
                if (cx, cy) in cells and cx <= x < cx + scale and cy <= y < cy + scale:
                    return True
        return False

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


def draw_logo():
    width, height = 150, 57
    canvas = Canvas(width, height)
    canvas.paint(lambda x, y: True, lambda x, y: gradient(x, y, width, height))
    # A thin darker frame keeps the badge distinct on light and dark backgrounds.
    canvas.paint(lambda x, y: x < 1 or y < 1 or x >= width - 1 or y >= height - 1, (10, 26, 48))
    for index, colour in enumerate(WAVE_COLOURS):
        canvas.paint(wave_band(40 + index * 4.5, 3.2, 62 - index * 6, index * 1.3, 2.2 - index * 0.4),
                     colour, 0.9)
    scale, spacing = 3, 3
    text_width = 7 * 5 * scale + 6 * spacing
    canvas.paint(text_shape("RIVERRA", (width - text_width) // 2, 8, scale, spacing), WHITE)
    return width, height, canvas.resolve()


def draw_icon():
    width, height = 48, 39
    canvas = Canvas(width, height)
    canvas.paint(rounded_rect(1, 1, width - 1, height - 1, 7),
                 lambda x, y: gradient(x, y, width, height))
    canvas.paint(text_shape("R", 6, 6, 3, 0), WHITE)
    for index, colour in enumerate(WAVE_COLOURS):
        canvas.paint(wave_band(12 + index * 7, 2.6, 17, index * 0.9, 2.6 - index * 0.3, 24, 44),
                     colour, 0.95)
    return width, height, canvas.resolve()


def bottom_up_pixels(rows):
    return b"".join(bytes(channel for pixel in row for channel in pixel) for row in reversed(rows))


def info_header(width, height, image_bytes):
    # BITMAPINFOHEADER, 32 bits per pixel, uncompressed.
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 32, 0, image_bytes, 2835, 2835, 0, 0)


def bmp_bytes(width, height, rows):
    pixels = bottom_up_pixels(rows)
    header = info_header(width, height, len(pixels))
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(pixels), 0, 0, 14 + len(header))
    return file_header + header + pixels


def ico_bytes(width, height, rows):
    pixels = bottom_up_pixels(rows)
    mask_stride = ((width + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, pixel in enumerate(row):
            if pixel[3] == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    # The icon's own header counts the colour and the mask image: twice the height.
    image = info_header(width, height * 2, len(pixels) + len(mask)) + pixels + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", width, height, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    width, height, rows = draw_logo()
    with open(os.path.join(here, "logo.bmp"), "wb") as f:
        f.write(bmp_bytes(width, height, rows))
    width, height, rows = draw_icon()
    with open(os.path.join(here, "riverra.ico"), "wb") as f:
        f.write(ico_bytes(width, height, rows))


if __name__ == "__main__":
    main()
