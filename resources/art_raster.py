"""Supersampled scanline painter used by draw_art.py (python3 standard library only).

Shapes are lists of contours in pixel units (x right, y down). All contours of one shape are
filled together with the nonzero rule, so outlines built from overlapping pieces (strokes made
of stadiums, stars made of several spikes) paint as one union and blend only once.
"""

import math


# Signed area of a closed contour (positive when it runs clockwise on screen).
def signed_area(contour):
    area = 0.0
    n = len(contour)
    for i in range(n):
        x0, y0 = contour[i]
        x1, y1 = contour[(i + 1) % n]
        area += x0 * y1 - x1 * y0
    return area / 2.0


# The contour turned so that it adds to a union (hole=False) or cuts one (hole=True).
def oriented(contour, hole=False):
    pts = list(contour)
    if (signed_area(pts) < 0) != hole:
        pts.reverse()
    return pts


# Ellipse outline with enough segments to look round after supersampling.
def ellipse(cx, cy, rx, ry, segments=72):
    return oriented([(cx + rx * math.cos(2 * math.pi * i / segments),
                      cy + ry * math.sin(2 * math.pi * i / segments)) for i in range(segments)])


# Circle outline.
def circle(cx, cy, r, segments=72):
    return ellipse(cx, cy, r, r, segments)


# Axis-aligned rectangle outline.
def rect(x0, y0, x1, y1):
    return oriented([(x0, y0), (x1, y0), (x1, y1), (x0, y1)])


# Rectangle with rounded corners of radius r.
def rounded_rect(x0, y0, x1, y1, r, segments=8):
    if r <= 0:
        return rect(x0, y0, x1, y1)
    pts = []
    corners = ((x1 - r, y0 + r, -90), (x1 - r, y1 - r, 0), (x0 + r, y1 - r, 90),
               (x0 + r, y0 + r, 180))
    for cx, cy, start in corners:
        for i in range(segments + 1):
            a = math.radians(start + 90 * i / segments)
            pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return oriented(pts)


# Line segment p-q widened to a stadium of half-width r (round caps).
def stadium(p, q, r, segments=12):
    (x0, y0), (x1, y1) = p, q
    base = math.atan2(y1 - y0, x1 - x0)
    pts = []
    for cx, cy, start in ((x1, y1, base - math.pi / 2), (x0, y0, base + math.pi / 2)):
        for i in range(segments + 1):
            a = start + math.pi * i / segments
            pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return oriented(pts)


# A polyline stroked with round joins and caps, as a list of contours.
def stroke(points, width):
    if len(points) == 1:
        return [circle(points[0][0], points[0][1], width / 2, 24)]
    return [stadium(points[i], points[i + 1], width / 2) for i in range(len(points) - 1)]


# Four-pointed glint: concave arms of length rx/ry, fatness 0 (needle) to 1 (diamond).
def sparkle(cx, cy, rx, ry, fatness=0.35, rotation=0.0, segments=96):
    power = 3.0 - 2.0 * fatness
    cos_r, sin_r = math.cos(rotation), math.sin(rotation)
    pts = []
    for i in range(segments):
        t = 2 * math.pi * i / segments
        c, s = math.cos(t), math.sin(t)
        x = rx * math.copysign(abs(c) ** power, c)
        y = ry * math.copysign(abs(s) ** power, s)
        pts.append((cx + x * cos_r - y * sin_r, cy + x * sin_r + y * cos_r))
    return oriented(pts)


# Linear interpolation between two colours.
def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


# Colour at position t along stops [(t0, colour), ...]; smooth or in flat bands.
def ramp(stops, t, smooth=True):
    if t <= stops[0][0]:
        return stops[0][1]
    for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
        if t < t1:
            if not smooth:
                return c0
            return mix(c0, c1, (t - t0) / (t1 - t0))
    return stops[-1][1]


# Paint that runs through the colour stops from (x0, y0) to (x1, y1).
def linear_gradient(x0, y0, x1, y1, stops, smooth=True):
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy

    def paint(x, y):
        return ramp(stops, ((x - x0) * dx + (y - y0) * dy) / length2, smooth)

    return paint


class Canvas:
    """A picture of width x height pixels, painted at ss x ss samples per pixel."""

    # An empty canvas: every sample holds the background colour and no coverage.
    def __init__(self, width, height, ss, background=(0, 0, 0)):
        self.width, self.height, self.ss = width, height, ss
        self.sw, self.sh = width * ss, height * ss
        self.rgb = [tuple(float(v) for v in background)] * (self.sw * self.sh)
        self.cov = bytearray(self.sw * self.sh)

    # Sample spans [(row, first column, end column)] that the shape covers.
    def _spans(self, contours):
        edges = []
        for contour in contours:
            n = len(contour)
            for i in range(n):
                (x0, y0), (x1, y1) = contour[i], contour[(i + 1) % n]
                if y0 != y1:
                    edges.append((x0, y0, x1, y1, 1 if y1 > y0 else -1))
        if not edges:
            return
        ss = self.ss
        top = min(min(e[1], e[3]) for e in edges)
        bottom = max(max(e[1], e[3]) for e in edges)
        first = max(0, math.ceil(top * ss - 0.5))
        last = min(self.sh - 1, math.floor(bottom * ss - 0.5))
        for row in range(first, last + 1):
            yc = (row + 0.5) / ss
            hits = []
            for x0, y0, x1, y1, direction in edges:
                if (y0 <= yc < y1) or (y1 <= yc < y0):
                    hits.append((x0 + (yc - y0) * (x1 - x0) / (y1 - y0), direction))
            hits.sort()
            winding = 0
            for i, (x, direction) in enumerate(hits):
                before = winding
                winding += direction
                if before == 0 and winding != 0:
                    start = x
                elif before != 0 and winding == 0:
                    a = max(0, math.ceil(start * ss - 0.5))
                    b = min(self.sw, math.ceil(x * ss - 0.5))
                    if a < b:
                        yield row, a, b

    # Paint a shape with a colour or a paint function paint(x, y) -> colour, at some opacity.
    def fill(self, contours, paint, alpha=1.0, covers=True):
        ss, sw = self.ss, self.sw
        rgb, cov = self.rgb, self.cov
        solid = not callable(paint)
        varying_alpha = callable(alpha)
        if solid:
            paint = tuple(float(v) for v in paint)
        for row, a, b in self._spans(contours):
            base = row * sw
            if solid and not varying_alpha and alpha >= 1.0:
                rgb[base + a:base + b] = [paint] * (b - a)
            else:
                y = (row + 0.5) / ss
                for col in range(a, b):
                    x = (col + 0.5) / ss
                    colour = paint if solid else paint(x, y)
                    opacity = alpha(x, y) if varying_alpha else alpha
                    if opacity >= 1.0:
                        rgb[base + col] = colour
                    elif opacity > 0.0:
                        rgb[base + col] = mix(rgb[base + col], colour, opacity)
            if covers:
                cov[base + a:base + b] = b"\x01" * (b - a)

    # Pixels as rows of averaged colours, with the covered fraction of each pixel.
    def resolve(self):
        ss, sw = self.ss, self.sw
        n = ss * ss
        pixels, coverage = [], []
        for py in range(self.height):
            prow, crow = [], []
            for px in range(self.width):
                # covered samples alone decide the colour of an edge pixel, so the shape
                # does not pick up a fringe of the empty background
                total, inside = [0.0, 0.0, 0.0], [0.0, 0.0, 0.0]
                covered = 0
                for sy in range(py * ss, py * ss + ss):
                    base = sy * sw + px * ss
                    for k in range(base, base + ss):
                        c = self.rgb[k]
                        total[0] += c[0]
                        total[1] += c[1]
                        total[2] += c[2]
                        if self.cov[k]:
                            covered += 1
                            inside[0] += c[0]
                            inside[1] += c[1]
                            inside[2] += c[2]
                if covered:
                    prow.append(tuple(v / covered for v in inside))
                else:
                    prow.append(tuple(v / n for v in total))
                crow.append(covered / n)
            pixels.append(prow)
            coverage.append(crow)
        return pixels, coverage

    # Pixels as rows of palette indices: the entry that most covered samples of a pixel map to.
    def resolve_majority(self, palette):
        ss, sw = self.ss, self.sw
        nearest_cache = {}
        rows = []
        for py in range(self.height):
            row = []
            for px in range(self.width):
                counts = {}
                samples = []
                for sy in range(py * ss, py * ss + ss):
                    base = sy * sw + px * ss
                    samples.extend(k for k in range(base, base + ss) if self.cov[k])
                if not samples:
                    samples = [py * ss * sw + px * ss]
                for k in samples:
                    c = self.rgb[k]
                    index = nearest_cache.get(c)
                    if index is None:
                        index = nearest(palette, c)
                        nearest_cache[c] = index
                    counts[index] = counts.get(index, 0) + 1
                row.append(max(counts, key=lambda i: (counts[i], -i)))
            rows.append(row)
        return rows


# Index of the palette colour closest to c (weighted for the eye; ties go to the lower index).
def nearest(palette, c):
    best, best_d = 0, None
    for i, p in enumerate(palette):
        dr, dg, db = c[0] - p[0], c[1] - p[1], c[2] - p[2]
        d = 3 * dr * dr + 4 * dg * dg + 2 * db * db
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best
