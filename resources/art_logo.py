"""The logo banner on the left of the main window: a cut gem glinting in a dusk sky over a
mountain range, texture tiles spilling out of it, and the word mark on the ground below.
"""

import math

from art_lettering import display_width, display_word, pixel_text, pixel_width
from art_raster import Canvas, circle, linear_gradient, mix, oriented, rect, sparkle, stroke

LOGO_WIDTH, LOGO_HEIGHT = 168, 271
HORIZON = 188
CENTRE = LOGO_WIDTH / 2

SKY = [(0.0, (9, 10, 34)), (0.3, (26, 24, 78)), (0.55, (76, 38, 116)), (0.75, (168, 66, 128)),
       (0.9, (236, 122, 104)), (1.0, (255, 190, 124))]
GROUND = [(0.0, (30, 16, 50)), (1.0, (8, 6, 20))]
INK = (10, 8, 28)


# The logo on a supersampled canvas.
def draw_logo(ss=4):
    canvas = Canvas(LOGO_WIDTH, LOGO_HEIGHT, ss)
    _draw_sky(canvas)
    _draw_stars(canvas)
    _draw_mountains(canvas)
    _draw_ground(canvas)
    _draw_rays(canvas)
    _draw_gem(canvas)
    _draw_tiles(canvas)
    _draw_glints(canvas)
    _draw_word_mark(canvas)
    return canvas


def _draw_sky(canvas):
    canvas.fill([rect(0, 0, LOGO_WIDTH, HORIZON)], linear_gradient(0, 0, 0, HORIZON, SKY))
    # a warm haze around the sun that has just set behind the range
    canvas.fill([rect(0, 110, LOGO_WIDTH, HORIZON)], (255, 200, 140),
                alpha=lambda x, y: 0.28 * _falloff(math.hypot((x - CENTRE) * 0.6,
                                                              y - HORIZON), 90))


def _falloff(distance, radius):
    t = max(0.0, 1.0 - distance / radius)
    return t * t


def _draw_stars(canvas):
    seed = 20240611
    for _ in range(70):
        seed = (seed * 1103515245 + 12345) % 2147483648
        x = seed % 1680 / 10
        seed = (seed * 1103515245 + 12345) % 2147483648
        y = seed % 1300 / 10
        seed = (seed * 1103515245 + 12345) % 2147483648
        brightness = 0.35 + (seed % 1000) / 1000 * 0.65 * (1 - y / 160)
        if math.hypot(x - CENTRE, y - 90) < 58:
            continue
        canvas.fill([circle(x, y, 0.45 + 0.4 * brightness, 12)], (235, 235, 255), alpha=brightness)
    for x, y, r in ((22, 24, 3.2), (146, 14, 2.6), (140, 118, 2.2), (16, 104, 2.0)):
        canvas.fill([sparkle(x, y, r, r, 0.1)], (220, 236, 255), alpha=0.85)


def _draw_mountains(canvas):
    far = [(0, 160), (14, 150), (26, 156), (44, 138), (60, 152), (70, 146), (84, 160),
           (100, 142), (116, 155), (128, 134), (146, 152), (158, 146), (168, 152)]
    near = [(0, 172), (18, 164), (34, 174), (52, 166), (72, 178), (96, 168), (118, 176),
            (138, 162), (156, 172), (168, 168)]
    canvas.fill([oriented(far + [(168, HORIZON), (0, HORIZON)])],
                linear_gradient(0, 134, 0, HORIZON, [(0.0, (84, 44, 112)), (1.0, (58, 30, 86))]))
    # the last light of the sunset catches the far ridge
    canvas.fill(stroke(far, 0.9), (255, 160, 150), alpha=0.4)
    canvas.fill([oriented(near + [(168, HORIZON), (0, HORIZON)])],
                linear_gradient(0, 162, 0, HORIZON, [(0.0, (46, 24, 70)), (1.0, (30, 16, 50))]))


def _draw_ground(canvas):
    canvas.fill([rect(0, HORIZON, LOGO_WIDTH, LOGO_HEIGHT)],
                linear_gradient(0, HORIZON, 0, LOGO_HEIGHT, GROUND))
    # a floor grid running to the horizon, fading into the distance
    lines = []
    for k in range(-9, 10):
        lines += stroke([(CENTRE + k * 5, HORIZON), (CENTRE + k * 48, LOGO_HEIGHT + 40)], 0.7)
    for n in range(1, 9):
        y = HORIZON + 86 * (n / 8) ** 2
        lines += stroke([(-2, y), (LOGO_WIDTH + 2, y)], 0.7)
    canvas.fill(lines, (226, 92, 168),
                alpha=lambda x, y: 0.32 * min(1.0, (y - HORIZON) / 50))
    canvas.fill([rect(0, HORIZON - 0.5, LOGO_WIDTH, HORIZON + 0.7)], (255, 170, 140), alpha=0.6)


# Gem outline: girdle from x 34 to 134, table from 60 to 108, culet at the bottom.
TABLE_Y, GIRDLE_Y, CULET = 56, 78, (84, 130)
GIRDLE = [34 + 25 * i for i in range(5)]
TABLE = [60 + 16 * i for i in range(4)]
FACETS = [(176, 246, 255), (98, 200, 240), (212, 252, 255), (70, 164, 226),
          (150, 232, 252), (52, 126, 204), (120, 214, 246)]
PAVILION = [(118, 214, 248), (60, 150, 220), (92, 190, 240), (40, 104, 188),
            (78, 170, 232), (34, 84, 168), (58, 134, 212), (28, 64, 146)]


def _draw_rays(canvas):
    cx, cy = CENTRE, 86
    rays = []
    for i in range(12):
        a = i * math.pi / 6 + 0.2
        spread = 0.05 if i % 2 else 0.09
        length = 120 if i % 2 else 150
        rays.append(oriented([(cx, cy)] + [(cx + length * math.cos(b), cy + length * math.sin(b))
                                           for b in (a - spread, a + spread)]))
    canvas.fill(rays, (190, 236, 255),
                alpha=lambda x, y: 0.16 * _falloff(math.hypot(x - cx, y - cy), 150))
    canvas.fill([circle(cx, cy, 80)], (120, 210, 255),
                alpha=lambda x, y: 0.42 * _falloff(math.hypot(x - cx, y - cy), 80))


def _gem_outline():
    return oriented([(GIRDLE[0], GIRDLE_Y), (TABLE[0], TABLE_Y), (TABLE[-1], TABLE_Y),
                     (GIRDLE[-1], GIRDLE_Y), CULET])


def _draw_gem(canvas):
    # drop shadow and dark rim first, so the facets sit on a clean edge
    shadow = [(x + 2.5, y + 3.5) for x, y in _gem_outline()]
    canvas.fill([shadow], INK, alpha=0.45)
    canvas.fill(stroke(_gem_outline() + [_gem_outline()[0]], 2.6), INK)
    zigzag = []
    for i, gx in enumerate(GIRDLE):
        zigzag.append((gx, GIRDLE_Y))
        if i < len(TABLE):
            zigzag.append((TABLE[i], TABLE_Y))
    for i in range(len(zigzag) - 2):
        tri = oriented(zigzag[i:i + 3])
        top = FACETS[i]
        canvas.fill([tri], linear_gradient(0, TABLE_Y, 0, GIRDLE_Y,
                                           [(0.0, top), (1.0, mix(top, (40, 90, 180), 0.35))]))
    canvas.fill([oriented([(TABLE[0], TABLE_Y), (TABLE[-1], TABLE_Y),
                           (TABLE[-1] - 2, TABLE_Y + 2.2), (TABLE[0] + 2, TABLE_Y + 2.2)])],
                (240, 255, 255), alpha=0.85)
    girdle_points = [(x, GIRDLE_Y) for x in GIRDLE]
    middles = [((a[0] + b[0]) / 2, GIRDLE_Y + 9) for a, b in zip(girdle_points, girdle_points[1:])]
    k = 0
    for i in range(len(GIRDLE) - 1):
        a, m, b = girdle_points[i], middles[i], girdle_points[i + 1]
        for tri in ((a, m, CULET), (m, b, CULET)):
            colour = PAVILION[k]
            canvas.fill([oriented(tri)], linear_gradient(0, GIRDLE_Y, 0, CULET[1],
                                                         [(0.0, colour),
                                                          (1.0, mix(colour, (20, 30, 90), 0.45))]))
            k += 1
        canvas.fill([oriented([a, m, b])], mix(PAVILION[2 * i], (230, 250, 255), 0.35))
    # fine bright seams along the facet edges catch the light
    seams = []
    for i in range(len(zigzag) - 1):
        seams += stroke([zigzag[i], zigzag[i + 1]], 0.7)
    for m in middles:
        seams += stroke([m, CULET], 0.6)
    seams += stroke([(GIRDLE[0], GIRDLE_Y), (GIRDLE[-1], GIRDLE_Y)], 0.8)
    canvas.fill(seams, (236, 252, 255), alpha=0.5)


# Tiles tumbling out of the gem: centre, edge length, turn in degrees, pattern.
TILES = [
    (36, 150, 24, -16, "checker"), (86, 160, 28, 7, "bricks"), (134, 146, 22, 21, "planks"),
    (18, 188, 15, -31, "water"), (150, 186, 16, 34, "moss"), (60, 196, 13, -9, "checker2"),
    (114, 198, 12, 14, "bricks2"),
]


def _pattern(name, u, v):
    if name in ("checker", "checker2"):
        a, b = ((246, 176, 72), (196, 96, 44)) if name == "checker" else ((250, 220, 120),
                                                                          (150, 90, 170))
        return a if (int(u * 4) + int(v * 4)) % 2 == 0 else b
    if name in ("bricks", "bricks2"):
        row = int(v * 4)
        shift = 0.25 if row % 2 else 0.0
        mortar = (v * 4) % 1 < 0.14 or ((u + shift) * 2) % 1 < 0.07
        brick = (186, 70, 58) if name == "bricks" else (110, 120, 150)
        return (226, 200, 176) if mortar else mix(brick, (240, 140, 110), 0.25 * ((row * 7) % 3))
    if name == "planks":
        grain = 0.5 + 0.5 * math.sin(v * 26 + 3 * math.sin(u * 9))
        seam = (u * 3) % 1 < 0.06
        return (92, 50, 28) if seam else mix((150, 92, 48), (200, 140, 80), grain)
    if name == "water":
        wave = 0.5 + 0.5 * math.sin(u * 18 + 6 * math.sin(v * 6))
        return mix((30, 90, 190), (110, 200, 250), wave * wave)
    blob = 0.5 + 0.25 * math.sin(u * 21 + v * 7) + 0.25 * math.sin(v * 19 - u * 11)
    return mix((46, 116, 58), (150, 210, 90), blob)


def _draw_tiles(canvas):
    for cx, cy, size, turn, pattern in TILES:
        a = math.radians(turn)
        ca, sa = math.cos(a), math.sin(a)
        half = size / 2

        def corners(h, dx=0.0, dy=0.0):
            return oriented([(cx + dx + ca * u - sa * v, cy + dy + sa * u + ca * v)
                             for u, v in ((-h, -h), (h, -h), (h, h), (-h, h))])

        def paint(x, y, name=pattern):
            dx, dy = x - cx, y - cy
            u = (ca * dx + sa * dy) / size + 0.5
            v = (-sa * dx + ca * dy) / size + 0.5
            colour = _pattern(name, min(max(u, 0.0), 0.999), min(max(v, 0.0), 0.999))
            # light falls from the gem above: the top of each tile is brighter
            return mix(colour, (255, 255, 255), 0.18 * max(0.0, 1 - 2 * v))

        canvas.fill([corners(half + 1, 2.5, 3.5)], INK, alpha=0.5)
        canvas.fill([corners(half + 1.1)], INK)
        canvas.fill([corners(half)], paint)
        canvas.fill(stroke([corners(half - 0.5)[0], corners(half - 0.5)[1]], 0.8),
                    (255, 255, 255), alpha=0.35)


def _draw_glints(canvas):
    for cx, cy, r, tall in ((62, 55, 18, 30), (134, 78, 7, 10), (40, 142, 4, 6)):
        canvas.fill([circle(cx, cy, tall)], (210, 245, 255),
                    alpha=lambda x, y, cx=cx, cy=cy, t=tall: 0.5 * _falloff(
                        math.hypot(x - cx, y - cy), t))
        canvas.fill([sparkle(cx, cy, r, tall, 0.12)], (150, 236, 255), alpha=0.8)
        canvas.fill([sparkle(cx, cy, r * 0.6, tall * 0.6, 0.2)], (255, 255, 255))
        canvas.fill([sparkle(cx, cy, r * 0.45, r * 0.45, 0.12, math.pi / 4)], (255, 255, 255),
                    alpha=0.8)


def _draw_word_mark(canvas):
    unit, gap, top = 3.0, 1.5, 214
    left = CENTRE - display_width("GLINTMARK", gap) * unit / 2
    letters = display_word("GLINTMARK", left, top, unit, gap)
    everything = [c for letter in letters for c in letter]
    canvas.fill([[(x + 1.2, y + 1.8) for x, y in c] for c in everything], INK, alpha=0.8)
    bright = linear_gradient(0, top, 0, top + 6 * unit,
                             [(0.0, (255, 255, 255)), (1.0, (206, 214, 255))])
    cool = linear_gradient(0, top, 0, top + 6 * unit,
                           [(0.0, (150, 240, 255)), (1.0, (72, 170, 236))])
    canvas.fill([c for letter in letters[:5] for c in letter], bright)
    canvas.fill([c for letter in letters[5:] for c in letter], cool)

    rule_y = top + 6 * unit + 9
    canvas.fill(stroke([(24, rule_y), (144, rule_y)], 0.8), (240, 150, 180),
                alpha=lambda x, y: 0.7 * _falloff(abs(x - CENTRE), 62) ** 0.5)
    canvas.fill([sparkle(CENTRE, rule_y, 4, 3, 0.5)], (255, 214, 200))

    tagline = "LEVEL TEXTURE EXTRACTOR"
    x = round(CENTRE - pixel_width(tagline, 2) / 2)
    canvas.fill(pixel_text(tagline, x, round(rule_y) + 7, 2), (206, 188, 236))
