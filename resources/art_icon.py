"""The program icon: a glint sparkling over a small stack of texture tiles.

Each icon size has its own layout on its own pixel grid (outlines land on whole pixels), and two
colour themes: a rich one for the 256-colour images and one made of the 16 VGA colours.
"""

from art_raster import (Canvas, circle, linear_gradient, oriented, rect, rounded_rect,
                        sparkle)

# The standard 16-colour VGA palette, in palette order.
VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]

# Colour roles of the icon, for the 256-colour images ("rich") and the 16-colour ones ("vga").
THEMES = {
    "rich": {
        "smooth": True,
        "outline": (24, 18, 44),
        "back_top": (72, 168, 184), "back_bottom": (28, 92, 124), "back_edge": (150, 226, 232),
        "frame": (244, 236, 218), "frame_shade": (196, 184, 170),
        "sky": [(0.0, (46, 54, 148)), (0.5, (200, 84, 140)), (1.0, (255, 178, 104))],
        "sun": (255, 240, 160),
        "far": (44, 32, 92), "near": (16, 16, 40),
        "glint": (132, 236, 255), "glint_core": (255, 255, 255),
    },
    "vga": {
        "smooth": False,
        "outline": VGA[0],
        "back_top": VGA[6], "back_bottom": VGA[6], "back_edge": VGA[14],
        "frame": VGA[15], "frame_shade": VGA[7],
        "sky": [(0.0, VGA[4]), (0.12, VGA[5])],
        "sun": VGA[11],
        "far": VGA[4], "near": VGA[0],
        "glint": VGA[14], "glint_core": VGA[15],
    },
}

# Pixel layout of each size: tiles as (left, top, right, bottom) outer edges, the picture on the
# front tile, its skyline, and the sparkle as (x, y, half-width, half-height).
LAYOUTS = {
    48: {
        "back": (17, 4, 45, 31), "back_radius": 3,
        "front": (3, 15, 35, 45), "front_radius": 3, "mat": 2, "picture_line": True,
        "horizon": 35, "sun": (12.5, 24.5, 3.5),
        "far": [(7, 34), (12, 29), (15, 31), (20, 24), (26, 31), (28, 29), (31, 31), (31, 41),
                (7, 41)],
        "near": [(7, 41), (7, 37), (14, 34), (22, 37), (31, 34), (31, 41)],
        "glint": (38.5, 10.5, 9.0, 10.0), "glint_small": (44.5, 24.5, 2.6),
    },
    32: {
        "back": (11, 3, 30, 21), "back_radius": 2,
        "front": (2, 11, 24, 30), "front_radius": 2, "mat": 2, "picture_line": False,
        "horizon": 24, "sun": (8.5, 17.5, 2.5),
        "far": [(5, 23), (8, 20), (10, 21), (14, 16), (18, 21), (21, 19), (21, 27), (5, 27)],
        "near": [(5, 27), (5, 25), (10, 23), (15, 25), (21, 23), (21, 27)],
        "glint": (25.5, 7.5, 6.0, 7.0), "glint_small": None,
    },
}


# The 16x16 icon is drawn pixel by pixel in VGA colours: at that size every pixel is a decision.
PIXELS_16 = [
    "............K...",
    "...........KCK..",
    "...KKKKKKKKKCKK.",
    "...KTTTTTKCCWCCK",
    "...KTTTTTTKKCKK.",
    "KKKKKKKKKKKKCK..",
    "KWWWWWWWWWKTKK..",
    "KWNNNNNNNSKTK...",
    "KWNYYNNNNSKTK...",
    "KWPYYPPNPSKTK...",
    "KWPPPPNNNSKTK...",
    "KWPPNNNNNSKTK...",
    "KWKKNNNNNSKKK...",
    "KWKKKKKKKSK.....",
    "KWSSSSSSSSK.....",
    "KKKKKKKKKKK.....",
]

# Letters of PIXELS_16 and the VGA palette entries they stand for ("." is transparent).
PIXEL_KEYS = {"K": 0, "N": 4, "P": 5, "T": 6, "S": 7, "Y": 11, "C": 14, "W": 15}


# The icon of the given size drawn in the given theme, on a supersampled canvas. Sizes above 48
# draw the 48-pixel layout enlarged: outlines and rims grow with it, so the big icon reads as
# the same picture as the small ones.
def draw_icon(size, theme_name, ss=8):
    canvas = Canvas(size, size, ss)
    if size > 48:
        _draw_layout(_Enlarged(canvas, size / 48), LAYOUTS[48], THEMES[theme_name])
        return canvas
    if size == 16:
        assert theme_name == "vga", "the 16x16 icon exists in 16 colours only"
        _draw_pixels(canvas, PIXELS_16)
        return canvas
    assert size in LAYOUTS, f"no layout for a {size}x{size} icon"
    _draw_layout(canvas, LAYOUTS[size], THEMES[theme_name])
    return canvas


class _Enlarged:
    """Paints shapes given in layout pixels onto a canvas `factor` times as large."""

    def __init__(self, canvas, factor):
        self.canvas, self.factor = canvas, factor

    # Canvas.fill with every point scaled up and paint functions asked in layout pixels.
    def fill(self, contours, paint):
        k = self.factor
        scaled = [[(x * k, y * k) for x, y in contour] for contour in contours]
        if callable(paint):
            layout_paint = paint

            def paint(x, y):
                return layout_paint(x / k, y / k)

        self.canvas.fill(scaled, paint)


def _draw_layout(canvas, layout, theme):
    _draw_back_tile(canvas, layout, theme)
    _draw_front_tile(canvas, layout, theme)
    _draw_glint(canvas, layout, theme)


def _draw_pixels(canvas, rows):
    assert len(rows) == canvas.height and all(len(r) == canvas.width for r in rows)
    for y, row in enumerate(rows):
        for x, key in enumerate(row):
            if key != ".":
                canvas.fill([rect(x, y, x + 1, y + 1)], VGA[PIXEL_KEYS[key]])


def _draw_back_tile(canvas, layout, theme):
    x0, y0, x1, y1 = layout["back"]
    r = layout["back_radius"]
    canvas.fill([rounded_rect(x0, y0, x1, y1, r)], theme["outline"])
    canvas.fill([rounded_rect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, max(0, r - 1))],
                linear_gradient(0, y0, 0, y1, [(0.0, theme["back_top"]),
                                               (1.0, theme["back_bottom"])], theme["smooth"]))
    # a lit rim along the top and left edges gives the tile some thickness
    canvas.fill([rect(x0 + 1 + r // 2, y0 + 1, x1 - 1 - r // 2, y0 + 2)], theme["back_edge"])
    canvas.fill([rect(x0 + 1, y0 + 1 + r // 2, x0 + 2, y1 - 1 - r // 2)], theme["back_edge"])


def _draw_front_tile(canvas, layout, theme):
    x0, y0, x1, y1 = layout["front"]
    r, mat = layout["front_radius"], layout["mat"]
    canvas.fill([rounded_rect(x0, y0, x1, y1, r)], theme["outline"])
    canvas.fill([rounded_rect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, max(0, r - 1))], theme["frame"])
    # the mat darkens toward its bottom right, as if lit from the top left
    canvas.fill([oriented([(x1 - 1, y0 + 1 + r), (x1 - 1, y1 - 1), (x0 + 1 + r, y1 - 1),
                           (x0 + mat + 1, y1 - mat), (x1 - mat, y1 - mat),
                           (x1 - mat, y0 + mat + 1)])], theme["frame_shade"])
    px0, py0, px1, py1 = x0 + 1 + mat, y0 + 1 + mat, x1 - 1 - mat, y1 - 1 - mat
    if layout["picture_line"]:
        canvas.fill([rect(px0, py0, px1, py1)], theme["outline"])
        px0, py0, px1, py1 = px0 + 1, py0 + 1, px1 - 1, py1 - 1
    canvas.fill([rect(px0, py0, px1, py1)],
                linear_gradient(0, py0, 0, layout["horizon"], theme["sky"], theme["smooth"]))
    sx, sy, sr = layout["sun"]
    canvas.fill([circle(sx, sy, sr)], theme["sun"])
    clip = [(min(max(x, px0), px1), min(max(y, py0), py1)) for x, y in layout["far"]]
    canvas.fill([oriented(clip)], theme["far"])
    clip = [(min(max(x, px0), px1), min(max(y, py0), py1)) for x, y in layout["near"]]
    canvas.fill([oriented(clip)], theme["near"])


def _draw_glint(canvas, layout, theme):
    cx, cy, rx, ry = layout["glint"]
    pad = 1.0
    diagonal = sparkle(cx, cy, rx * 0.55, ry * 0.55, 0.2, 0.785398)
    canvas.fill([sparkle(cx, cy, rx + pad * 1.6, ry + pad * 1.6, 0.3),
                 sparkle(cx, cy, rx * 0.55 + pad * 1.6, ry * 0.55 + pad * 1.6, 0.35, 0.785398)],
                theme["outline"])
    canvas.fill([sparkle(cx, cy, rx, ry, 0.15), diagonal], theme["glint"])
    canvas.fill([sparkle(cx, cy, rx * 0.5, ry * 0.5, 0.3)], theme["glint_core"])
    if layout["glint_small"]:
        gx, gy, gr = layout["glint_small"]
        canvas.fill([sparkle(gx, gy, gr + 1.4, gr + 1.4, 0.6)], theme["outline"])
        canvas.fill([sparkle(gx, gy, gr, gr, 0.45)], theme["glint_core"])
