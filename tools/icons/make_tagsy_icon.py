#!/usr/bin/env python3
"""Draws the add-in's button icon, a coloured luggage tag on a cord, as a 32 x 32 icon with
32-bit colour and alpha (resources/Tagsy.ico, icon 2039).

    make_tagsy_icon.py [output.ico]

Standard library only. Every pixel is the average of SAMPLES x SAMPLES points, which gives
the antialiased edges; the shape is described by distances, so the outline keeps one width
all round the rounded corners.
"""
import math
import os
import struct
import sys

SIZE = 32
SAMPLES = 8

# The tag in its own frame: x along its length (the narrow end at -LENGTH/2), y across.
LENGTH = 25.0
WIDTH = 15.0
CHAMFER = 5.5        # how far the narrow end's corners are cut back
CORNER_RADIUS = 2.2
OUTLINE = 1.0
ANGLE = math.radians(45.0)   # narrow end towards the top left
CENTRE = (17.0, 17.0)
HOLE_X = -LENGTH / 2 + 4.6
HOLE_RADIUS = 1.55
EYELET = 1.25        # width of the metal ring round the hole

FILL_LIGHT = (255, 184, 64)
FILL_DARK = (232, 112, 20)
OUTLINE_COLOUR = (150, 62, 8)
HIGHLIGHT = (255, 226, 160)
EYELET_LIGHT = (250, 250, 246)
EYELET_DARK = (150, 150, 156)
LINE_COLOUR = (255, 240, 214)
CORD_COLOUR = (70, 82, 112)
CORD_WIDTH = 1.25


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def to_tag(px, py):
    """A point of the picture in the tag's frame."""
    dx, dy = px - CENTRE[0], py - CENTRE[1]
    c, s = math.cos(-ANGLE), math.sin(-ANGLE)
    return dx * c - dy * s, dx * s + dy * c


def to_picture(x, y):
    c, s = math.cos(ANGLE), math.sin(ANGLE)
    return CENTRE[0] + x * c - y * s, CENTRE[1] + x * s + y * c


def polygon():
    h, w = LENGTH / 2, WIDTH / 2
    return [(-h, -w + CHAMFER), (-h + CHAMFER, -w), (h, -w), (h, w), (-h + CHAMFER, w),
            (-h, w - CHAMFER)]


def inset(points, d):
    """The convex polygon moved inwards by d on every edge (points counter-clockwise in a
    y-down frame are clockwise on screen; the sign below matches polygon())."""
    lines = []
    n = len(points)
    for i in range(n):
        (x1, y1), (x2, y2) = points[i], points[(i + 1) % n]
        ex, ey = x2 - x1, y2 - y1
        length = math.hypot(ex, ey)
        nx, ny = -ey / length, ex / length   # inward normal for this winding
        lines.append(((x1 + nx * d, y1 + ny * d), (ex, ey)))
    result = []
    for i in range(n):
        (p, r), (q, s) = lines[i - 1], lines[i]
        cross = r[0] * s[1] - r[1] * s[0]
        t = ((q[0] - p[0]) * s[1] - (q[1] - p[1]) * s[0]) / cross
        result.append((p[0] + r[0] * t, p[1] + r[1] * t))
    return result


def segment_distance(px, py, a, b):
    ax, ay = a
    bx, by = b
    ex, ey = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * ex + (py - ay) * ey) / (ex * ex + ey * ey)))
    return math.hypot(px - ax - ex * t, py - ay - ey * t)


def inside(px, py, points):
    sign = 0
    n = len(points)
    for i in range(n):
        (x1, y1), (x2, y2) = points[i], points[(i + 1) % n]
        cross = (x2 - x1) * (py - y1) - (y2 - y1) * (px - x1)
        if cross != 0:
            if sign == 0:
                sign = 1 if cross > 0 else -1
            elif (cross > 0) != (sign > 0):
                return False
    return True


CORE = inset(polygon(), CORNER_RADIUS)


def tag_distance(x, y):
    """Signed distance to the rounded tag's edge, negative inside."""
    n = len(CORE)
    d = min(segment_distance(x, y, CORE[i], CORE[(i + 1) % n]) for i in range(n))
    return (-d if inside(x, y, CORE) else d) - CORNER_RADIUS


def bezier(p0, p1, p2, steps=24):
    return [tuple((1 - t) ** 2 * p0[i] + 2 * (1 - t) * t * p1[i] + t * t * p2[i] for i in range(2))
            for t in (k / steps for k in range(steps + 1))]


# The cord leaves the hole and loops out of the picture at the top.
HOLE_CENTRE = to_picture(HOLE_X, 0.0)
CORD = bezier(HOLE_CENTRE, (HOLE_CENTRE[0] + 0.5, HOLE_CENTRE[1] - 6.0),
              (HOLE_CENTRE[0] - 2.0, -1.0))
CORD_BACK = bezier(HOLE_CENTRE, (HOLE_CENTRE[0] - 6.0, HOLE_CENTRE[1] + 0.5),
                   (-1.0, HOLE_CENTRE[1] - 2.0))


def polyline_distance(px, py, points):
    return min(segment_distance(px, py, points[i], points[i + 1]) for i in range(len(points) - 1))


def sample(px, py):
    """Colour and alpha (0..1) of one point of the picture."""
    x, y = to_tag(px, py)
    d = tag_distance(x, y)
    colour, alpha = (0, 0, 0), 0.0
    hole = math.hypot(x - HOLE_X, y)
    if d <= 0 and hole > HOLE_RADIUS:
        # Lit from the top left: the fill darkens towards the wide end and the lower edge.
        t = (x + LENGTH / 2) / LENGTH * 0.75 + (y + WIDTH / 2) / WIDTH * 0.25
        colour, alpha = mix(FILL_LIGHT, FILL_DARK, t), 1.0
        if -OUTLINE - 1.1 < d <= -OUTLINE - 0.1 and y < 0.35 * WIDTH / 2 - x * 0.2:
            colour = mix(colour, HIGHLIGHT, 0.55)
        # Two written lines on the label.
        for line_y, end in ((-2.2, LENGTH / 2 - 3.6), (1.6, LENGTH / 2 - 6.6)):
            if abs(y - line_y) < 0.6 and HOLE_X + 4.2 < x < end:
                colour = mix(colour, LINE_COLOUR, 0.9)
        if hole < HOLE_RADIUS + EYELET:
            colour = mix(EYELET_LIGHT, EYELET_DARK, (y + HOLE_RADIUS + EYELET) /
                         (2 * (HOLE_RADIUS + EYELET)))
        if d > -OUTLINE:
            colour = OUTLINE_COLOUR
    if polyline_distance(px, py, CORD) < CORD_WIDTH / 2 and not (d <= 0 and hole > HOLE_RADIUS + EYELET):
        colour, alpha = CORD_COLOUR, 1.0
    elif polyline_distance(px, py, CORD_BACK) < CORD_WIDTH / 2 and d > 0:
        colour, alpha = mix(CORD_COLOUR, (0, 0, 0), 0.2), 1.0
    return colour, alpha


def render():
    """Rows from the top, each pixel (r, g, b, a) in 0..255, straight (not premultiplied)."""
    rows = []
    for row in range(SIZE):
        pixels = []
        for column in range(SIZE):
            r = g = b = a = 0.0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    colour, alpha = sample(column + (sx + 0.5) / SAMPLES, row + (sy + 0.5) / SAMPLES)
                    r += colour[0] * alpha
                    g += colour[1] * alpha
                    b += colour[2] * alpha
                    a += alpha
            n = SAMPLES * SAMPLES
            if a == 0:
                pixels.append((0, 0, 0, 0))
            else:
                pixels.append((round(r / a), round(g / a), round(b / a), round(255 * a / n)))
        rows.append(pixels)
    return rows


def icon_bytes(rows):
    """An .ico with one 32-bit image: BITMAPINFOHEADER, BGRA rows bottom up, AND mask."""
    xor = b"".join(bytes((b, g, r, a)) for pixels in reversed(rows) for (r, g, b, a) in pixels)
    mask_stride = ((SIZE + 31) // 32) * 4
    mask = bytearray()
    for pixels in reversed(rows):
        line = bytearray(mask_stride)
        for column, pixel in enumerate(pixels):
            if pixel[3] == 0:
                line[column // 8] |= 0x80 >> (column % 8)
        mask += line
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(mask),
                         0, 0, 0, 0)
    image = header + xor + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    default = os.path.join(here, "..", "..", "resources", "Tagsy.ico")
    target = sys.argv[1] if len(sys.argv) > 1 else default
    with open(target, "wb") as f:
        f.write(icon_bytes(render()))


if __name__ == "__main__":
    main()
