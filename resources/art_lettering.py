"""Lettering for the logo: a stroked display face for the word mark and a 3x5 pixel face.

The display face is drawn on a grid six units tall with chamfered corners; each letter is a list
of polylines that are stroked one unit wide. The pixel face is for small text at 1:1.
"""

from art_raster import rect, stroke

# Display letters: (advance width in units, [polylines]) on a grid 6 units tall, y down.
DISPLAY = {
    "G": (4, [[(4, 1.2), (3, 0), (1, 0), (0, 1), (0, 5), (1, 6), (3, 6), (4, 5), (4, 3.2),
               (2.3, 3.2)]]),
    "L": (3.5, [[(0, 0), (0, 6), (3.5, 6)]]),
    "I": (0, [[(0, 0), (0, 6)]]),
    "N": (4, [[(0, 6), (0, 0), (4, 6), (4, 0)]]),
    "T": (4, [[(0, 0), (4, 0)], [(2, 0), (2, 6)]]),
    "M": (5, [[(0, 6), (0, 0), (2.5, 3.6), (5, 0), (5, 6)]]),
    "A": (4, [[(0, 6), (0, 1.5), (1.5, 0), (2.5, 0), (4, 1.5), (4, 6)], [(0, 3.6), (4, 3.6)]]),
    "R": (4, [[(0, 6), (0, 0), (3, 0), (4, 1), (4, 2.2), (3, 3.2), (0, 3.2)],
              [(2.3, 3.2), (4, 6)]]),
    "K": (4, [[(0, 0), (0, 6)], [(4, 0), (0.5, 3.4)], [(1.7, 2.4), (4, 6)]]),
}

# Pixel letters, three columns by five rows ("#" is ink).
PIXEL = {
    "A": [".#.", "#.#", "###", "#.#", "#.#"],
    "C": [".##", "#..", "#..", "#..", ".##"],
    "E": ["###", "#..", "##.", "#..", "###"],
    "L": ["#..", "#..", "#..", "#..", "###"],
    "O": [".#.", "#.#", "#.#", "#.#", ".#."],
    "R": ["##.", "#.#", "##.", "#.#", "#.#"],
    "T": ["###", ".#.", ".#.", ".#.", ".#."],
    "U": ["#.#", "#.#", "#.#", "#.#", "###"],
    "V": ["#.#", "#.#", "#.#", "#.#", ".#."],
    "X": ["#.#", "#.#", ".#.", "#.#", "#.#"],
    " ": ["...", "...", "...", "...", "..."],
}


# Width in units of a word set in the display face with the given letter gap.
def display_width(word, gap):
    return sum(DISPLAY[c][0] for c in word) + gap * (len(word) - 1) + 1


# Contours of each letter of a word in the display face, its top-left ink corner at (x, y).
def display_word(word, x, y, unit, gap):
    letters = []
    pen = x + unit / 2
    for c in word:
        advance, lines = DISPLAY[c]
        contours = []
        for line in lines:
            points = [(pen + u * unit, y + unit / 2 + v * unit) for u, v in line]
            contours += stroke(points, unit)
        letters.append(contours)
        pen += (advance + gap) * unit
    return letters


# Width in pixels of a text set in the pixel face with the given spacing between letters.
def pixel_width(text, spacing):
    return len(text) * 3 + (len(text) - 1) * spacing


# Contours of a text in the pixel face, one square per lit pixel, top left at whole pixel (x, y).
def pixel_text(text, x, y, spacing):
    contours = []
    for i, c in enumerate(text):
        left = x + i * (3 + spacing)
        for row, bits in enumerate(PIXEL[c]):
            for col, bit in enumerate(bits):
                if bit == "#":
                    contours.append(rect(left + col, y + row, left + col + 1, y + row + 1))
    return contours
