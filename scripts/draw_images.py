#!/usr/bin/env python3
"""Draws the workbench's own pictures into images/ as 24-bit Windows bitmaps.

Every picture is drawn here from shapes: nothing is taken from elsewhere.
Shapes are filled at four times the size and averaged down, which gives
smooth edges without any image library. The pictures sit on the white system
layer canvas, so their background is white and they share one palette and
one outline colour.

    scripts/draw_images.py [OUTPUT_FOLDER]     (default: images/ beside scripts/)
"""

import math
import os
import struct
import sys

SS = 4  # supersampling factor

WHITE = (255, 255, 255)
INK = (44, 52, 66)          # every outline
STEEL = (120, 132, 148)
STEEL_LIGHT = (206, 213, 222)
STEEL_DARK = (84, 94, 110)
BLUE = (46, 104, 176)
BLUE_LIGHT = (120, 170, 228)
TEAL = (22, 140, 128)
TEAL_LIGHT = (110, 204, 190)
GREEN = (64, 170, 72)
GREEN_LIGHT = (150, 222, 140)
AMBER = (240, 170, 40)
ORANGE = (230, 120, 40)
RED = (210, 46, 40)
RED_LIGHT = (250, 130, 110)
SCREEN = (30, 60, 96)
SCREEN_LIGHT = (70, 130, 190)
BROWN = (150, 100, 60)
BROWN_LIGHT = (204, 160, 110)
PURPLE = (110, 80, 160)
PURPLE_LIGHT = (180, 160, 220)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def vgrad(y0, y1, c0, c1):
    """Colour running from c0 at y0 to c1 at y1."""
    def colour(x, y):
        t = 0.0 if y1 == y0 else min(1.0, max(0.0, (y - y0) / (y1 - y0)))
        return mix(c0, c1, t)
    return colour


def hgrad(x0, x1, c0, c1):
    def colour(x, y):
        t = 0.0 if x1 == x0 else min(1.0, max(0.0, (x - x0) / (x1 - x0)))
        return mix(c0, c1, t)
    return colour


def cylinder(x0, x1, c):
    """Shading of a vertical cylinder: light left of centre, dark at the rims."""
    def colour(x, y):
        t = (x - x0) / max(1e-9, x1 - x0)
        light = 1.0 - abs(t - 0.35) * 1.5
        if light >= 0:
            return mix(c, WHITE, 0.55 * light)
        return mix(c, (0, 0, 0), min(0.45, -light * 0.6))
    return colour


class Picture:
    def __init__(self, width, height):
        self.w, self.h = width, height
        self.W, self.H = width * SS, height * SS
        n = self.W * self.H
        self.r = [255.0] * n
        self.g = [255.0] * n
        self.b = [255.0] * n

    # ---- filling ----

    def fill(self, points, colour, alpha=1.0):
        """Even-odd fill of a polygon given in picture pixels."""
        pts = [(x * SS, y * SS) for x, y in points]
        if len(pts) < 3:
            return
        ys = [p[1] for p in pts]
        top = max(0, int(math.floor(min(ys))))
        bottom = min(self.H, int(math.ceil(max(ys))) + 1)
        edges = list(zip(pts, pts[1:] + pts[:1]))
        solid = None if callable(colour) else colour
        for row in range(top, bottom):
            yc = row + 0.5
            xs = []
            for (x0, y0), (x1, y1) in edges:
                if (y0 <= yc < y1) or (y1 <= yc < y0):
                    xs.append(x0 + (yc - y0) * (x1 - x0) / (y1 - y0))
            xs.sort()
            base = row * self.W
            for i in range(0, len(xs) - 1, 2):
                a = max(0, int(math.ceil(xs[i] - 0.5)))
                b = min(self.W, int(math.ceil(xs[i + 1] - 0.5)))
                for col in range(a, b):
                    c = solid if solid else colour((col + 0.5) / SS, yc / SS)
                    k = base + col
                    if alpha >= 1.0:
                        self.r[k], self.g[k], self.b[k] = c
                    else:
                        self.r[k] += (c[0] - self.r[k]) * alpha
                        self.g[k] += (c[1] - self.g[k]) * alpha
                        self.b[k] += (c[2] - self.b[k]) * alpha

    def line(self, x0, y0, x1, y1, colour, width=1.0, alpha=1.0):
        """A stroke with round ends."""
        dx, dy = x1 - x0, y1 - y0
        length = math.hypot(dx, dy)
        hw = width / 2.0
        if length > 0:
            nx, ny = -dy / length * hw, dx / length * hw
            self.fill([(x0 + nx, y0 + ny), (x1 + nx, y1 + ny), (x1 - nx, y1 - ny), (x0 - nx, y0 - ny)],
                      colour, alpha)
        if width > 1.2:
            self.fill(ellipse_points(x0, y0, hw, hw, 16), colour, alpha)
            self.fill(ellipse_points(x1, y1, hw, hw, 16), colour, alpha)

    def polyline(self, points, colour, width=1.0, closed=False, alpha=1.0):
        pts = list(points) + ([points[0]] if closed else [])
        for (x0, y0), (x1, y1) in zip(pts, pts[1:]):
            self.line(x0, y0, x1, y1, colour, width, alpha)

    def shape(self, points, fill=None, outline=INK, width=1.0):
        if fill is not None:
            self.fill(points, fill)
        if outline is not None:
            self.outline(points, outline, width)

    def outline(self, points, colour=INK, width=1.0):
        """A closed outline with mitred-looking joints (square caps overlap)."""
        pts = list(points)
        for (x0, y0), (x1, y1) in zip(pts, pts[1:] + pts[:1]):
            dx, dy = x1 - x0, y1 - y0
            length = math.hypot(dx, dy)
            if length == 0:
                continue
            ex, ey = dx / length * width / 2, dy / length * width / 2
            self.line(x0 - ex, y0 - ey, x1 + ex, y1 + ey, colour, width)

    def rect(self, x0, y0, x1, y1, fill=None, outline=INK, width=1.0):
        self.shape([(x0, y0), (x1, y0), (x1, y1), (x0, y1)], fill, outline, width)

    def rrect(self, x0, y0, x1, y1, radius, fill=None, outline=INK, width=1.0):
        self.shape(round_rect_points(x0, y0, x1, y1, radius), fill, outline, width)

    def ellipse(self, cx, cy, rx, ry, fill=None, outline=INK, width=1.0):
        self.shape(ellipse_points(cx, cy, rx, ry), fill, outline, width)

    def text(self, x, y, text, size, colour=INK, width=1.0):
        """Capital letters of a small stroke font; (x, y) is the top left, size the cap height."""
        unit = size / 6.0
        for ch in text:
            strokes, advance = GLYPHS.get(ch, ([], 3))
            for stroke in strokes:
                if len(stroke) == 1:
                    gx, gy = stroke[0]
                    self.fill(ellipse_points(x + gx * unit, y + gy * unit, width * 0.7, width * 0.7, 12), colour)
                    continue
                self.polyline([(x + gx * unit, y + gy * unit) for gx, gy in stroke], colour, width)
            x += (advance + 1.6) * unit

    def text_width(self, text, size):
        unit = size / 6.0
        return sum((GLYPHS.get(ch, ([], 3))[1] + 1.6) * unit for ch in text) - 1.6 * unit

    # ---- output ----

    def bitmap(self):
        """The picture averaged down, as the bytes of a 24-bit bottom-up bitmap."""
        row_size = (self.w * 3 + 3) // 4 * 4
        pixels = bytearray()
        n = SS * SS
        for y in range(self.h - 1, -1, -1):
            row = bytearray()
            for x in range(self.w):
                r = g = b = 0.0
                for sy in range(SS):
                    base = (y * SS + sy) * self.W + x * SS
                    for sx in range(SS):
                        k = base + sx
                        r += self.r[k]
                        g += self.g[k]
                        b += self.b[k]
                row += bytes((clamp(b / n), clamp(g / n), clamp(r / n)))
            row += b"\0" * (row_size - len(row))
            pixels += row
        header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
        info = struct.pack("<IiiHHIIiiII", 40, self.w, self.h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
        return header + info + bytes(pixels)


def clamp(v):
    return max(0, min(255, int(round(v))))


def ellipse_points(cx, cy, rx, ry, steps=48, start=0.0, end=2 * math.pi):
    full = abs(end - start - 2 * math.pi) < 1e-9
    count = steps if full else max(2, int(steps * abs(end - start) / (2 * math.pi)) + 1)
    pts = []
    for i in range(count + (0 if full else 1)):
        a = start + (end - start) * i / count
        pts.append((cx + rx * math.cos(a), cy + ry * math.sin(a)))
    return pts


def round_rect_points(x0, y0, x1, y1, r):
    r = min(r, (x1 - x0) / 2, (y1 - y0) / 2)
    pts = []
    corners = [(x1 - r, y0 + r, -math.pi / 2), (x1 - r, y1 - r, 0.0),
               (x0 + r, y1 - r, math.pi / 2), (x0 + r, y0 + r, math.pi)]
    for cx, cy, a0 in corners:
        for i in range(7):
            a = a0 + (math.pi / 2) * i / 6
            pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return pts


def top_rounded_points(x0, y0, x1, y1, r):
    """A band along the top of a rounded box: rounded above, square below."""
    pts = [(x0, y1)]
    for cx, a0 in ((x0 + r, math.pi), (x1 - r, 1.5 * math.pi)):
        for i in range(7):
            a = a0 + (math.pi / 2) * i / 6
            pts.append((cx + r * math.cos(a), y0 + r + r * math.sin(a)))
    pts.append((x1, y1))
    return pts


def band(p, x0, y0, x1, y1, colour, r=3.0):
    p.fill(top_rounded_points(x0, y0, x1, y1, r), colour)
    p.line(x0, y1, x1, y1, mix(INK, WHITE, 0.3), 0.7)


# Stroke font on a grid 4 wide and 6 high: (strokes, advance).
GLYPHS = {
    "I": ([[(0, 0), (0, 6)]], 0.4),
    "E": ([[(3.5, 0), (0, 0), (0, 6), (3.5, 6)], [(0, 3), (3, 3)]], 3.5),
    "C": ([[(4, 1), (3, 0), (1, 0), (0, 1), (0, 5), (1, 6), (3, 6), (4, 5)]], 4),
    "O": ([[(1, 0), (3, 0), (4, 1), (4, 5), (3, 6), (1, 6), (0, 5), (0, 1), (1, 0)]], 4),
    "P": ([[(0, 6), (0, 0), (3, 0), (4, 1), (4, 2), (3, 3), (0, 3)]], 4),
    "H": ([[(0, 0), (0, 6)], [(4, 0), (4, 6)], [(0, 3), (4, 3)]], 4),
    "M": ([[(0, 6), (0, 0), (2.5, 3.5), (5, 0), (5, 6)]], 5),
    "?": ([[(0, 1.2), (1, 0), (3, 0), (4, 1), (4, 2), (2, 3.4), (2, 4.2)], [(2, 6)]], 4),
    "!": ([[(0, 0), (0, 4)], [(0, 6)]], 0),
}


def led(p, cx, cy, colour, r=1.6):
    p.ellipse(cx, cy, r, r, fill=colour, outline=mix(colour, INK, 0.6), width=0.6)
    p.ellipse(cx - r * 0.35, cy - r * 0.35, r * 0.35, r * 0.35, fill=mix(colour, WHITE, 0.7), outline=None)


def screw(p, cx, cy, r=1.4):
    p.ellipse(cx, cy, r, r, fill=STEEL_LIGHT, outline=STEEL_DARK, width=0.6)
    p.line(cx - r * 0.6, cy, cx + r * 0.6, cy, STEEL_DARK, 0.6)


def shadow(p, points, dx=1.5, dy=1.5):
    p.fill([(x + dx, y + dy) for x, y in points], (0, 0, 0), alpha=0.12)


# ---------------------------------------------------------------------------
# The system layer's objects


def netbone():
    """A network backbone: a long cable duct with connection points."""
    p = Picture(480, 20)
    body = round_rect_points(1.5, 3.5, 478.5, 16.5, 6.5)
    shadow(p, body, 0, 1.5)
    p.fill(body, vgrad(3.5, 16.5, (96, 150, 214), (24, 62, 120)))
    p.fill(round_rect_points(6, 5, 474, 8.5, 1.7), (255, 255, 255), alpha=0.35)
    for x in range(40, 460, 40):
        p.rect(x - 3.5, 6.5, x + 3.5, 13.5, fill=vgrad(6.5, 13.5, STEEL_LIGHT, STEEL), outline=INK, width=0.8)
        p.rect(x - 1.5, 8.5, x + 1.5, 11.5, fill=(40, 48, 60), outline=None)
    p.outline(body, INK, 1.0)
    return p


def cabinet(p, x0, y0, x1, y1, top, bottom, radius=3.0):
    body = round_rect_points(x0, y0, x1, y1, radius)
    shadow(p, body)
    p.fill(body, vgrad(y0, y1, top, bottom))
    return body


def terminal_strip(p, x0, x1, y, count, colour=(70, 78, 92)):
    """A row of screw terminals."""
    step = (x1 - x0) / count
    p.rect(x0, y, x1, y + 6, fill=vgrad(y, y + 6, (235, 238, 242), (196, 202, 210)), outline=INK, width=0.8)
    for i in range(count):
        cx = x0 + step * (i + 0.5)
        p.ellipse(cx, y + 3, 1.4, 1.4, fill=colour, outline=None)


def device3():
    """An IEC 61499 compliant device: a controller with its own inputs and outputs."""
    p = Picture(72, 64)
    body = cabinet(p, 4.5, 3.5, 67.5, 60.5, (236, 242, 250), (196, 210, 228))
    band(p, 4.5, 3.5, 67.5, 14.5, vgrad(3.5, 14.5, BLUE_LIGHT, BLUE))
    p.text(9.5, 5.5, "IEC", 6.5, WHITE, 1.3)
    led(p, 52, 9, GREEN_LIGHT)
    led(p, 59, 9, AMBER)
    terminal_strip(p, 9.5, 62.5, 19.5, 8)
    # The processor window: an FB network in small.
    p.rect(9.5, 29.5, 62.5, 46.5, fill=vgrad(29.5, 46.5, SCREEN, (20, 40, 70)), outline=INK, width=0.8)
    p.rect(14, 33, 25, 43, fill=(160, 200, 240), outline=None)
    p.rect(46, 33, 57, 43, fill=(160, 200, 240), outline=None)
    p.rect(30, 33.5, 41, 40, fill=(160, 200, 240), outline=None)
    p.line(25, 36, 30, 36, (160, 200, 240), 1)
    p.line(41, 37, 46, 37, (160, 200, 240), 1)
    terminal_strip(p, 9.5, 62.5, 50.5, 8)
    p.outline(body, INK, 1.0)
    return p


def opc_device():
    """An OPC device: a data access server box with its tag stack."""
    p = Picture(72, 64)
    body = cabinet(p, 4.5, 3.5, 67.5, 60.5, (234, 248, 245), (190, 222, 216))
    band(p, 4.5, 3.5, 67.5, 14.5, vgrad(3.5, 14.5, TEAL_LIGHT, TEAL))
    p.text(9.5, 5.5, "OPC", 6.5, WHITE, 1.3)
    led(p, 59, 9, GREEN_LIGHT)
    # A stack of data items.
    for i, y in enumerate((20.5, 29.5, 38.5)):
        p.rrect(10.5, y, 47.5, y + 7, 1.5, fill=vgrad(y, y + 7, WHITE, (214, 232, 230)), outline=INK, width=0.8)
        p.rect(13, y + 2.5, 13 + 6 + i * 3, y + 4.5, fill=TEAL, outline=None)
        p.rect(34, y + 2.5, 44, y + 4.5, fill=(150, 170, 170), outline=None)
    # Arrows in and out of the server.
    p.line(53, 27, 62, 27, INK, 1.2)
    p.fill([(62, 24), (66, 27), (62, 30)], INK)
    p.line(53, 37, 62, 37, INK, 1.2)
    p.fill([(53, 34), (49.5, 37), (53, 40)], INK)
    terminal_strip(p, 9.5, 62.5, 50.5, 8)
    p.outline(body, INK, 1.0)
    return p


def device1():
    """A device that is not IEC 61499 compliant: a plain I/O module."""
    p = Picture(64, 56)
    body = cabinet(p, 4.5, 3.5, 59.5, 52.5, (236, 236, 236), (196, 196, 198))
    band(p, 4.5, 3.5, 59.5, 12.5, vgrad(3.5, 12.5, (188, 190, 196), (136, 140, 150)))
    led(p, 11, 8, ORANGE)
    led(p, 18, 8, (110, 110, 110))
    for i in range(4):
        p.rect(9.5 + i * 12, 17.5, 17.5 + i * 12, 29.5, fill=vgrad(17.5, 29.5, (250, 250, 250), (210, 210, 214)),
               outline=INK, width=0.8)
        p.line(13.5 + i * 12, 20, 13.5 + i * 12, 27, STEEL_DARK, 1.2)
    p.rect(9.5, 33.5, 54.5, 37.5, fill=(120, 124, 132), outline=None)
    terminal_strip(p, 9.5, 54.5, 41.5, 6)
    p.outline(body, INK, 1.0)
    return p


def computer():
    """A computer: monitor, stand and keyboard."""
    p = Picture(72, 64)
    bezel = round_rect_points(8.5, 2.5, 63.5, 42.5, 3)
    shadow(p, bezel)
    p.fill(bezel, vgrad(2.5, 42.5, (92, 100, 114), (56, 62, 74)))
    p.outline(bezel, INK)
    p.rect(12.5, 6.5, 59.5, 38.5, fill=vgrad(6.5, 38.5, SCREEN_LIGHT, SCREEN), outline=INK, width=0.8)
    # Windows on the screen.
    p.rect(16, 10, 38, 22, fill=(220, 232, 246), outline=None)
    p.rect(16, 10, 38, 12.5, fill=BLUE, outline=None)
    p.rect(33, 19, 56, 34, fill=(236, 242, 250), outline=None)
    p.rect(33, 19, 56, 21.5, fill=TEAL, outline=None)
    p.fill([(12.5, 6.5), (34, 6.5), (12.5, 24)], WHITE, alpha=0.12)
    # Stand.
    p.shape([(31, 42.5), (41, 42.5), (43, 49.5), (29, 49.5)], vgrad(42, 50, STEEL, STEEL_DARK), INK, 0.8)
    p.rrect(22.5, 48.5, 49.5, 51.5, 1.5, fill=STEEL_DARK, outline=INK, width=0.8)
    # Keyboard.
    kb = [(10.5, 55.5), (61.5, 55.5), (64.5, 61.5), (7.5, 61.5)]
    p.shape(kb, vgrad(55, 62, (236, 238, 242), (190, 196, 204)), INK, 0.9)
    for row, y in enumerate((57.5, 59.5)):
        for i in range(12):
            x = 12.5 + row * -1.5 + i * 4.1
            p.rect(x, y - 0.6, x + 2.8, y + 0.6, fill=STEEL, outline=None)
    return p


def iunit():
    """An interworking unit: a gateway joining the plant network to fieldbuses."""
    p = Picture(72, 52)
    body = cabinet(p, 4.5, 5.5, 67.5, 46.5, (244, 240, 252), (206, 196, 230))
    band(p, 4.5, 5.5, 67.5, 13.5, vgrad(5.5, 13.5, PURPLE_LIGHT, PURPLE))
    led(p, 10, 9.5, GREEN_LIGHT, 1.4)
    led(p, 16, 9.5, GREEN_LIGHT, 1.4)
    led(p, 22, 9.5, AMBER, 1.4)
    # Two-way arrows: the unit translates in both directions.
    for y, left in ((22, False), (32, True)):
        p.line(15, y, 57, y, PURPLE, 2.2)
        if left:
            p.fill([(16, y - 4.5), (9.5, y), (16, y + 4.5)], PURPLE)
        else:
            p.fill([(56, y - 4.5), (62.5, y), (56, y + 4.5)], PURPLE)
    # Ports on both sides of the bottom edge.
    for x in (10.5, 18.5):
        p.rect(x, 38.5, x + 6, 43.5, fill=(52, 58, 70), outline=INK, width=0.7)
    for x in (47.5, 55.5):
        p.rect(x, 38.5, x + 6, 43.5, fill=(200, 150, 60), outline=INK, width=0.7)
    p.outline(body, INK, 1.0)
    return p


def switch():
    """A network switch: a flat box with a row of ports and link lights."""
    p = Picture(96, 32)
    body = cabinet(p, 2.5, 5.5, 93.5, 27.5, (98, 112, 134), (50, 60, 78), 2.5)
    p.fill(round_rect_points(4, 6.5, 92, 9.5, 1), WHITE, alpha=0.18)
    for i in range(8):
        x = 8.5 + i * 10
        p.rect(x, 12.5, x + 7, 20.5, fill=(28, 32, 40), outline=(150, 160, 176), width=0.7)
        p.rect(x + 2, 12.5, x + 5, 14.5, fill=(90, 96, 108), outline=None)
        led(p, x + 3.5, 24, GREEN_LIGHT if i % 3 != 2 else AMBER, 1.1)
    p.outline(body, INK, 1.0)
    return p


# ---------------------------------------------------------------------------
# Industrial process terminators


def undefined_ipt():
    """An IPT of no particular kind: a process box with a question."""
    p = Picture(64, 56)
    body = cabinet(p, 6.5, 8.5, 57.5, 51.5, (250, 250, 246), (214, 214, 204), 4)
    p.outline(body, INK, 1.2)
    for x, y in ((11, 13), (53, 13), (11, 47), (53, 47)):
        screw(p, x, y)
    w = p.text_width("?", 22)
    p.text(32 - w / 2, 19, "?", 22, STEEL_DARK, 3.0)
    return p


def alarm():
    """An alarm: a red beacon on its base, with light rays."""
    p = Picture(44, 56)
    dome = [(12.5, 44)] + ellipse_points(22, 24, 9.5, 13, 48, math.pi, 2 * math.pi) + [(31.5, 44)]
    shadow(p, dome)
    p.fill(dome, hgrad(12.5, 31.5, RED_LIGHT, (160, 20, 20)))
    p.fill(ellipse_points(18.5, 22, 2.6, 6, 24), WHITE, alpha=0.55)
    p.outline(dome, INK, 1.0)
    p.line(12.8, 34, 31.2, 34, (150, 20, 20), 0.8)
    base = round_rect_points(8.5, 43.5, 35.5, 52.5, 2)
    p.fill(base, vgrad(43.5, 52.5, (96, 100, 110), (52, 56, 66)))
    p.outline(base, INK)
    # Rays.
    for a in (-150, -120, -90, -60, -30):
        r = math.radians(a)
        x0, y0 = 22 + 14.5 * math.cos(r), 27 + 17 * math.sin(r)
        x1, y1 = 22 + 19.5 * math.cos(r), 27 + 22 * math.sin(r)
        p.line(x0, y0, x1, y1, AMBER, 2.0)
    return p


def flame(p, cx, base, h, w):
    outer = [(cx - w, base), (cx - w * 0.9, base - h * 0.45), (cx - w * 0.3, base - h * 0.75), (cx, base - h),
             (cx + w * 0.35, base - h * 0.7), (cx + w * 0.9, base - h * 0.45), (cx + w, base)]
    p.fill(outer, vgrad(base - h, base, (250, 200, 40), (230, 80, 20)))
    inner = [(cx - w * 0.45, base), (cx - w * 0.3, base - h * 0.4), (cx, base - h * 0.6), (cx + w * 0.3, base - h * 0.4),
             (cx + w * 0.45, base)]
    p.fill(inner, (255, 240, 150))


def boiler():
    """A boiler: an upright vessel with a gauge, a steam outlet and its burner."""
    p = Picture(64, 80)
    # Steam pipe and valve on top.
    p.rect(39.5, 3.5, 44.5, 14.5, fill=hgrad(39.5, 44.5, STEEL_LIGHT, STEEL), outline=INK, width=0.8)
    p.rect(36.5, 3.5, 47.5, 6.5, fill=RED, outline=INK, width=0.8)
    vessel = ([(12.5, 20)] + ellipse_points(32, 20, 19.5, 8, 40, math.pi, 2 * math.pi) +
              [(51.5, 20), (51.5, 60)] + ellipse_points(32, 60, 19.5, 5, 30, 0, math.pi) + [(12.5, 60)])
    shadow(p, vessel)
    p.fill(vessel, cylinder(12.5, 51.5, (196, 84, 60)))
    # Bands.
    for y in (28, 52):
        p.fill([(12.5, y - 1.2), (51.5, y - 1.2), (51.5, y + 1.2), (12.5, y + 1.2)], cylinder(12.5, 51.5, STEEL_DARK))
    p.outline(vessel, INK, 1.0)
    # Pressure gauge.
    p.ellipse(32, 40, 7, 7, fill=WHITE, outline=INK, width=1.0)
    for a in range(200, 350, 30):
        r = math.radians(a)
        p.line(32 + 5 * math.cos(r), 40 + 5 * math.sin(r), 32 + 6.2 * math.cos(r), 40 + 6.2 * math.sin(r), INK, 0.7)
    p.line(32, 40, 36, 36, RED, 1.1)
    p.ellipse(32, 40, 1.1, 1.1, fill=INK, outline=None)
    # Burner box and flames.
    p.rect(16.5, 66.5, 47.5, 77.5, fill=vgrad(66, 78, (70, 74, 84), (36, 40, 48)), outline=INK, width=1.0)
    for cx in (24, 32, 40):
        flame(p, cx, 76.5, 8, 3.2)
    return p


def compressor():
    """A compressor: a horizontal air receiver with its motor and pressure gauge."""
    p = Picture(88, 60)
    tank = ellipse_points(20, 38, 9, 14, 40, math.pi / 2, 3 * math.pi / 2) + \
        ellipse_points(68, 38, 9, 14, 40, -math.pi / 2, math.pi / 2)
    shadow(p, tank)

    def tank_shade(x, y):
        t = (y - 24) / 28
        light = 1.0 - abs(t - 0.3) * 1.6
        if light >= 0:
            return mix(BLUE, WHITE, 0.5 * light)
        return mix(BLUE, (0, 0, 0), min(0.45, -light * 0.6))
    p.fill(tank, tank_shade)
    p.outline(tank, INK, 1.0)
    # Feet.
    for x in (22, 62):
        p.shape([(x - 4, 51), (x + 4, 51), (x + 6, 57.5), (x - 6, 57.5)], STEEL_DARK, INK, 0.8)
    # Motor on the tank.
    p.rrect(26.5, 6.5, 52.5, 23.5, 3, fill=vgrad(6.5, 23.5, (120, 180, 110), (50, 120, 50)), outline=INK)
    for x in range(30, 50, 4):
        p.line(x, 9, x, 21, (40, 96, 40), 1.0)
    p.ellipse(58, 15, 6.5, 6.5, fill=hgrad(51, 65, STEEL_LIGHT, STEEL), outline=INK)
    p.ellipse(58, 15, 2.0, 2.0, fill=STEEL_DARK, outline=None)
    p.line(52.5, 15, 52.5, 15, INK, 0.5)
    # Pressure gauge on a short pipe.
    p.rect(72.5, 17.5, 75.5, 25.5, fill=STEEL, outline=INK, width=0.7)
    p.ellipse(74, 13, 6, 6, fill=WHITE, outline=INK)
    p.line(74, 13, 77, 10, RED, 1.0)
    p.ellipse(74, 13, 1.0, 1.0, fill=INK, outline=None)
    return p


def control_panel():
    """A control panel: a cabinet with lamps, push buttons, a switch and a meter."""
    p = Picture(64, 72)
    body = cabinet(p, 6.5, 3.5, 57.5, 68.5, (226, 230, 236), (180, 188, 198))
    band(p, 6.5, 3.5, 57.5, 9.5, vgrad(3.5, 9.5, (150, 160, 174), (110, 120, 136)))
    p.outline(body, INK, 1.0)
    # Meter.
    p.rect(13.5, 14.5, 50.5, 30.5, fill=vgrad(14.5, 30.5, WHITE, (230, 234, 238)), outline=INK, width=0.9)
    arc = ellipse_points(32, 30, 14, 12, 24, math.pi * 1.15, math.pi * 1.85)
    p.polyline(arc, STEEL_DARK, 0.8)
    p.polyline(ellipse_points(32, 30, 14, 12, 12, math.pi * 1.65, math.pi * 1.85), RED, 1.4)
    p.line(32, 29, 40, 20, INK, 1.1)
    # Lamps.
    for x, c in ((17, GREEN_LIGHT), (27, AMBER), (37, RED_LIGHT), (47, (170, 200, 250))):
        p.ellipse(x, 38, 3.2, 3.2, fill=c, outline=INK, width=0.8)
        p.ellipse(x - 1, 37, 1, 1, fill=WHITE, outline=None)
    # Push buttons.
    for x, c in ((17, GREEN), (27, GREEN), (37, RED)):
        p.ellipse(x, 49, 4, 4, fill=STEEL_LIGHT, outline=INK, width=0.8)
        p.ellipse(x, 49, 2.6, 2.6, fill=c, outline=None)
    # Emergency stop.
    p.ellipse(47, 49, 5, 5, fill=AMBER, outline=INK, width=0.8)
    p.ellipse(47, 49, 3.3, 3.3, fill=RED, outline=(120, 20, 20), width=0.6)
    # Selector switch.
    p.ellipse(32, 60, 4.5, 4.5, fill=(60, 66, 78), outline=INK, width=0.8)
    p.line(29, 63, 35, 57, WHITE, 1.4)
    return p


def drill():
    """A drill press: column, head with motor, spindle with bit, table and base."""
    p = Picture(56, 80)
    # Base and column.
    base = round_rect_points(6.5, 70.5, 49.5, 77.5, 1.5)
    shadow(p, base)
    p.fill(base, vgrad(70, 78, (110, 118, 132), (60, 66, 78)))
    p.outline(base, INK)
    p.rect(38.5, 14.5, 43.5, 70.5, fill=hgrad(38.5, 43.5, STEEL_LIGHT, STEEL_DARK), outline=INK, width=0.9)
    # Table.
    p.rect(10.5, 52.5, 43.5, 56.5, fill=vgrad(52, 57, STEEL_LIGHT, STEEL), outline=INK, width=0.9)
    p.rect(15.5, 48.5, 27.5, 52.5, fill=(200, 160, 90), outline=INK, width=0.7)  # a workpiece
    # Head.
    head = [(12.5, 12.5), (46.5, 12.5), (46.5, 28.5), (26.5, 28.5), (24.5, 32.5), (12.5, 32.5)]
    shadow(p, head)
    p.fill(head, vgrad(12.5, 32.5, (250, 190, 70), (220, 140, 30)))
    p.outline(head, INK)
    # Motor on top.
    p.rrect(26.5, 3.5, 48.5, 12.5, 2.5, fill=vgrad(3.5, 12.5, (130, 140, 156), (80, 88, 102)), outline=INK)
    # Feed handle.
    p.line(46.5, 22, 53, 30, INK, 1.3)
    p.ellipse(53, 30, 1.8, 1.8, fill=RED, outline=INK, width=0.6)
    # Spindle and bit.
    p.rect(16.5, 32.5, 21.5, 38.5, fill=hgrad(16.5, 21.5, STEEL_LIGHT, STEEL), outline=INK, width=0.8)
    p.shape([(17.5, 38.5), (20.5, 38.5), (20.0, 45), (19, 47.5), (18.0, 45)], hgrad(17, 21, WHITE, STEEL), INK, 0.7)
    for y in (40.5, 42.5, 44.5):
        p.line(17.8, y, 20.2, y - 1.2, STEEL_DARK, 0.5)
    return p


def robot_arm():
    """A robot arm: base, turntable, two links and a gripper."""
    p = Picture(80, 72)
    base = round_rect_points(8.5, 60.5, 40.5, 68.5, 2)
    shadow(p, base)
    p.fill(base, vgrad(60, 69, (110, 118, 132), (60, 66, 78)))
    p.outline(base, INK)
    turret = [(14.5, 60.5), (34.5, 60.5), (30.5, 50.5), (18.5, 50.5)]
    p.shape(turret, vgrad(50, 61, (250, 190, 70), (220, 140, 30)), INK)

    def link(x0, y0, x1, y1, w):
        dx, dy = x1 - x0, y1 - y0
        length = math.hypot(dx, dy)
        nx, ny = -dy / length * w / 2, dx / length * w / 2
        pts = [(x0 + nx, y0 + ny), (x1 + nx, y1 + ny), (x1 - nx, y1 - ny), (x0 - nx, y0 - ny)]
        shadow(p, pts)
        p.fill(pts, (236, 160, 40))
        p.fill(ellipse_points(x0, y0, w / 2, w / 2), (236, 160, 40))
        p.fill(ellipse_points(x1, y1, w / 2, w / 2), (236, 160, 40))
        p.line(x0 + nx * 0.5, y0 + ny * 0.5, x1 + nx * 0.5, y1 + ny * 0.5, (252, 214, 130), 1.2)
        p.polyline([(x0 + nx, y0 + ny), (x1 + nx, y1 + ny)], INK, 1.0)
        p.polyline([(x0 - nx, y0 - ny), (x1 - nx, y1 - ny)], INK, 1.0)

    shoulder, elbow, wrist = (24.5, 48), (36, 20), (62, 24)
    link(shoulder[0], shoulder[1], elbow[0], elbow[1], 9)
    link(elbow[0], elbow[1], wrist[0], wrist[1], 7)
    for (cx, cy), r in ((shoulder, 5.5), (elbow, 5.0), (wrist, 4.0)):
        p.ellipse(cx, cy, r, r, fill=(80, 88, 102), outline=INK, width=0.9)
        p.ellipse(cx, cy, r * 0.4, r * 0.4, fill=STEEL_LIGHT, outline=None)
    # Gripper.
    p.rect(62.5, 28, 66.5, 33.5, fill=STEEL, outline=INK, width=0.8)
    p.shape([(58.5, 33.5), (70.5, 33.5), (70.5, 36.5), (58.5, 36.5)], STEEL_DARK, INK, 0.8)
    p.shape([(58.5, 36.5), (61.5, 36.5), (62.5, 45.5), (59.5, 45.5)], STEEL_LIGHT, INK, 0.8)
    p.shape([(67.5, 36.5), (70.5, 36.5), (69.5, 45.5), (66.5, 45.5)], STEEL_LIGHT, INK, 0.8)
    return p


def hmi():
    """An HMI/SCADA panel: a touch screen showing a trend and a plant mimic."""
    p = Picture(80, 64)
    frame = round_rect_points(3.5, 3.5, 76.5, 52.5, 3.5)
    shadow(p, frame)
    p.fill(frame, vgrad(3.5, 52.5, (84, 92, 106), (46, 52, 62)))
    p.outline(frame, INK)
    p.rect(8.5, 7.5, 71.5, 46.5, fill=(244, 248, 252), outline=INK, width=0.8)
    p.rect(8.5, 7.5, 71.5, 12.5, fill=BLUE, outline=None)
    p.rect(63, 9, 69, 11, fill=GREEN_LIGHT, outline=None)
    # Trend area.
    p.rect(11.5, 15.5, 44.5, 35.5, fill=WHITE, outline=STEEL, width=0.6)
    for y in (20.5, 25.5, 30.5):
        p.line(12, y, 44, y, (220, 226, 234), 0.5)
    p.polyline([(12, 30), (17, 27), (21, 28.5), (26, 22), (31, 24), (36, 19), (43, 21)], BLUE, 1.1)
    p.polyline([(12, 33), (19, 32), (25, 33), (31, 30), (37, 31.5), (43, 29)], ORANGE, 1.0)
    # Mimic: a tank with a level and a pump.
    p.rect(50.5, 16.5, 62.5, 35.5, fill=WHITE, outline=INK, width=0.8)
    p.rect(51, 25, 62, 35, fill=BLUE_LIGHT, outline=None)
    p.line(62.5, 32, 66.5, 32, INK, 0.8)
    p.ellipse(67.5, 32, 2.5, 2.5, fill=GREEN, outline=INK, width=0.6)
    # Soft keys.
    for i, c in enumerate((GREEN, STEEL, STEEL, RED)):
        x = 12 + i * 15
        p.rrect(x, 38.5, x + 11, 44, 1, fill=mix(c, WHITE, 0.35), outline=mix(c, INK, 0.4), width=0.6)
    # Foot.
    p.shape([(30.5, 52.5), (49.5, 52.5), (53.5, 60.5), (26.5, 60.5)], vgrad(52, 61, STEEL, STEEL_DARK), INK, 0.9)
    return p


def conveyer():
    """A belt conveyer on its frame, with goods riding on it."""
    p = Picture(112, 44)
    # Legs.
    for x in (18, 94):
        p.shape([(x - 2.5, 27), (x + 2.5, 27), (x + 3.5, 41.5), (x - 3.5, 41.5)], STEEL_DARK, INK, 0.8)
    p.line(16, 36.5, 96, 36.5, STEEL, 1.6)
    # Belt around two end drums.
    belt = (ellipse_points(12, 24, 8.5, 8.5, 24, math.pi / 2, 3 * math.pi / 2) +
            ellipse_points(100, 24, 8.5, 8.5, 24, -math.pi / 2, math.pi / 2))
    shadow(p, belt)
    p.fill(belt, vgrad(15.5, 32.5, (80, 86, 96), (40, 44, 52)))
    p.outline(belt, INK, 1.0)
    p.rect(12, 18.5, 100, 29.5, fill=vgrad(18.5, 29.5, (200, 206, 214), (150, 158, 170)), outline=INK, width=0.8)
    for x in range(22, 96, 12):
        p.ellipse(x, 24, 3.5, 3.5, fill=hgrad(x - 3.5, x + 3.5, STEEL_LIGHT, STEEL), outline=INK, width=0.6)
    for cx in (12, 100):
        p.ellipse(cx, 24, 6, 6, fill=hgrad(cx - 6, cx + 6, STEEL_LIGHT, STEEL_DARK), outline=INK, width=0.9)
        p.ellipse(cx, 24, 1.6, 1.6, fill=INK, outline=None)
    # Goods.
    for x0, w, h in ((26.5, 16, 11), (56.5, 14, 9), (82.5, 12, 12)):
        box = [(x0, 15.5 - h), (x0 + w, 15.5 - h), (x0 + w, 15.5), (x0, 15.5)]
        shadow(p, box, 1, 0.5)
        p.fill(box, vgrad(15.5 - h, 15.5, BROWN_LIGHT, BROWN))
        p.line(x0 + w / 2, 15.5 - h, x0 + w / 2, 15.5, (236, 210, 160), 1.4)
        p.outline(box, INK, 0.9)
    # Direction arrow.
    p.line(40, 37.5, 70, 37.5, GREEN, 1.6)
    p.fill([(69, 34.5), (74, 37.5), (69, 40.5)], GREEN)
    return p


def feeder():
    """A feeder: a hopper full of material dosing onto a chute."""
    p = Picture(64, 80)
    hopper = [(6.5, 8.5), (57.5, 8.5), (57.5, 26.5), (38.5, 48.5), (25.5, 48.5), (6.5, 26.5)]
    shadow(p, hopper)
    p.fill(hopper, hgrad(6.5, 57.5, (230, 236, 244), (170, 182, 198)))
    # Material inside, with a heap on top.
    material = [(8, 20), (17, 15), (27, 18), (38, 13.5), (48, 17), (56, 16), (56, 26), (38, 47), (26, 47), (8, 26)]
    p.fill(material, vgrad(13, 47, (226, 190, 110), (170, 120, 60)))
    for x, y in ((16, 22), (26, 26), (36, 22), (45, 27), (30, 36), (36, 40), (22, 31), (41, 33)):
        p.ellipse(x, y, 1.2, 1.2, fill=(140, 96, 48), outline=None)
    p.outline(hopper, INK, 1.0)
    p.rect(4.5, 6.5, 59.5, 10.5, fill=vgrad(6, 11, STEEL_LIGHT, STEEL), outline=INK, width=0.9)
    # Dosing screw housing and motor.
    p.rect(22.5, 48.5, 41.5, 57.5, fill=vgrad(48, 58, (120, 180, 110), (50, 120, 50)), outline=INK)
    for x in (26, 30, 34, 38):
        p.line(x, 50, x + 2, 56, (30, 80, 30), 1.0)
    p.rect(41.5, 50.5, 52.5, 56.5, fill=hgrad(41, 53, STEEL_LIGHT, STEEL_DARK), outline=INK, width=0.8)
    # Falling material and the chute.
    for x, y in ((29, 61), (33, 63.5), (31, 66.5), (35, 60)):
        p.ellipse(x, y, 1.3, 1.3, fill=(170, 120, 60), outline=None)
    chute = [(14.5, 68.5), (50.5, 72.5), (50.5, 76.5), (14.5, 72.5)]
    p.shape(chute, vgrad(68, 77, STEEL_LIGHT, STEEL), INK, 0.9)
    return p


PICTURES = {
    "netbone.bmp": netbone,
    "device3.bmp": device3,
    "OPCdevice.bmp": opc_device,
    "device1.bmp": device1,
    "Comp047.bmp": computer,
    "iunit.bmp": iunit,
    "switch.bmp": switch,
    "aaa.bmp": undefined_ipt,
    "ALARM.bmp": alarm,
    "boiler.bmp": boiler,
    "compress.bmp": compressor,
    "control.bmp": control_panel,
    "Drill.bmp": drill,
    "robotarm.bmp": robot_arm,
    "hmi.bmp": hmi,
    "conveyer.bmp": conveyer,
    "feeder.bmp": feeder,
}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "images")
    only = set(sys.argv[2:])
    os.makedirs(out, exist_ok=True)
    for name, draw in PICTURES.items():
        if only and name not in only:
            continue
        picture = draw()
        with open(os.path.join(out, name), "wb") as f:
            f.write(picture.bitmap())
        print(f"{name}: {picture.w} x {picture.h}")


if __name__ == "__main__":
    main()
