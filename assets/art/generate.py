#!/usr/bin/env python3
# SPDX-License-Identifier: CC-BY-SA-4.0
"""Writes every picture of the game as an SVG file into svg/.

The SVGs are the sources the build packs (with dxgtool); this script is how
they are made, so a change of shape or colour belongs here, followed by
    python3 generate.py
and a rebuild of the `art` target.  Plain Python 3, no extra modules.

Sprites are drawn on nothing (transparent); the packer keys every pixel
below half coverage to magenta, so nothing here may use pure 0xFF00FF.
"""

import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "svg")

DISPLAY = "Dancing Script"
SMALL = "Liberation Sans"
INK = "#14202e"          # outline colour of everything in the world


def f(v):
    """Short number text for path data."""
    s = "%.2f" % v
    s = s.rstrip("0").rstrip(".")
    return "0" if s in ("-0", "") else s


def pts(points):
    return " ".join("%s,%s" % (f(x), f(y)) for x, y in points)


def poly_path(points, close=True):
    d = "M" + " L".join("%s %s" % (f(x), f(y)) for x, y in points)
    return d + (" Z" if close else "")


def esc(s):
    return s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;")


class Doc:
    """One SVG file: a body, shared definitions and unique ids."""

    def __init__(self, w, h):
        self.w, self.h = w, h
        self.defs = []
        self.body = []
        self.n = 0

    def uid(self, stem):
        self.n += 1
        return "%s%d" % (stem, self.n)

    def lin(self, stops, x1=0, y1=0, x2=0, y2=1, units=None):
        gid = self.uid("g")
        u = ' gradientUnits="userSpaceOnUse"' if units else ""
        s = "".join('<stop offset="%s" stop-color="%s"%s/>' % (
            f(o), c, (' stop-opacity="%s"' % f(a)) if a is not None else "")
            for o, c, a in [(t + (None,))[:3] for t in stops])
        self.defs.append('<linearGradient id="%s" x1="%s" y1="%s" x2="%s" y2="%s"%s>%s</linearGradient>'
                         % (gid, f(x1), f(y1), f(x2), f(y2), u, s))
        return "url(#%s)" % gid

    def rad(self, stops, cx=0.5, cy=0.5, r=0.5, fx=None, fy=None):
        gid = self.uid("r")
        s = "".join('<stop offset="%s" stop-color="%s"%s/>' % (
            f(o), c, (' stop-opacity="%s"' % f(a)) if a is not None else "")
            for o, c, a in [(t + (None,))[:3] for t in stops])
        self.defs.append('<radialGradient id="%s" cx="%s" cy="%s" r="%s" fx="%s" fy="%s">%s</radialGradient>'
                         % (gid, f(cx), f(cy), f(r), f(cx if fx is None else fx), f(cy if fy is None else fy), s))
        return "url(#%s)" % gid

    def clip(self, inner):
        cid = self.uid("c")
        self.defs.append('<clipPath id="%s">%s</clipPath>' % (cid, inner))
        return "url(#%s)" % cid

    def mask(self, inner):
        mid = self.uid("m")
        self.defs.append('<mask id="%s" maskUnits="userSpaceOnUse" x="-2000" y="-2000" width="6000" height="6000">%s</mask>'
                         % (mid, inner))
        return "url(#%s)" % mid

    def add(self, *parts):
        self.body.extend(parts)

    def text(self):
        return ('<?xml version="1.0" encoding="UTF-8"?>\n'
                '<!-- SPDX-License-Identifier: CC-BY-SA-4.0 -->\n'
                '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">\n'
                '<defs>%s</defs>\n%s\n</svg>\n'
                % (self.w, self.h, self.w, self.h, "\n".join(self.defs), "\n".join(self.body)))


def label(x, y, s, size, fill, stroke=INK, sw=2.0, family=DISPLAY, weight="bold", anchor="middle", extra=""):
    return ('<text x="%s" y="%s" font-family="%s" font-weight="%s" font-size="%s" text-anchor="%s" '
            'fill="%s" stroke="%s" stroke-width="%s" paint-order="stroke" stroke-linejoin="round"%s>%s</text>'
            % (f(x), f(y), family, weight, f(size), anchor, fill, stroke, f(sw), extra, esc(s)))


def small(x, y, s, size=15, fill=INK, weight="normal", anchor="start"):
    return ('<text x="%s" y="%s" font-family="%s" font-weight="%s" font-size="%s" text-anchor="%s" fill="%s">%s</text>'
            % (f(x), f(y), SMALL, weight, f(size), anchor, fill, esc(s)))


# ---------------------------------------------------------------- fish ----

# Every kind is a centre line with a thickness profile.  Frames 0-3 swing the
# tail and fins through one cycle; frame 4 is frame 0 with the mouth open.
KINDS = {
    1: dict(name="fry", W=120, H=90, top="#f08a1c", belly="#ffe27a", fin="#ff6a2a",
            tail=0.24, thick=0.30, a=0.55, b=0.38, root=0.16, tailshape="fan", eye=0.30,
            dorsal=(0.35, 0.75, 0.13), anal=(0.30, 0.55, 0.11), pect=0.18, spots=None),
    2: dict(name="striped", W=150, H=100, top="#ffb300", belly="#fff1a8", fin="#1d3b8f",
            tail=0.20, thick=0.30, a=0.7, b=0.45, root=0.14, tailshape="fork", eye=0.22,
            dorsal=(0.20, 0.80, 0.14), anal=(0.25, 0.60, 0.11), pect=0.16, stripes=3),
    3: dict(name="needle", W=190, H=60, top="#2c8c6e", belly="#d8f5e8", fin="#52c4a0",
            tail=0.13, thick=0.26, a=0.8, b=1.5, root=0.22, tailshape="fork", eye=0.20,
            dorsal=(0.15, 0.32, 0.30), anal=(0.12, 0.30, 0.28), pect=0.12, snout=True),
    4: dict(name="puffer", W=170, H=140, top="#c9a227", belly="#fff4c4", fin="#e0b84a",
            tail=0.17, thick=0.37, a=0.45, b=0.30, root=0.12, tailshape="fan", eye=0.18,
            dorsal=(0.40, 0.58, 0.10), anal=(0.40, 0.56, 0.08), pect=0.14, spikes=True, spots="#6e5310"),
    5: dict(name="ray", W=220, H=120, top="#8a4fb8", belly="#f3d6ff", fin="#b07ad6",
            tail=0.26, thick=0.18, a=1.0, b=0.75, root=0.03, tailshape="whip", eye=0.14,
            dorsal=None, anal=None, pect=0.0, wings=True, spots="#f7ecff"),
    6: dict(name="grouper", W=260, H=150, top="#8c3b22", belly="#f2b48a", fin="#6b2c18",
            tail=0.17, thick=0.32, a=0.6, b=0.25, root=0.16, tailshape="fan", eye=0.10,
            dorsal=(0.15, 0.70, 0.12), anal=(0.20, 0.45, 0.10), pect=0.16, spots="#f7d27a", jaw=True),
    7: dict(name="eel", W=320, H=90, top="#2f5e1c", belly="#e3e85a", fin="#5f8f2a",
            tail=0.05, thick=0.22, a=0.35, b=0.35, root=0.10, tailshape="eel", eye=0.10,
            dorsal=None, anal=None, pect=0.10, eel=True, jaw=True, bands="#1d3b12"),
    8: dict(name="shark", W=380, H=160, top="#4c6479", belly="#f2f5f7", fin="#3c5266",
            tail=0.20, thick=0.29, a=0.6, b=0.85, root=0.07, tailshape="crescent", eye=0.07, cy=0.56,
            dorsal=(0.40, 0.56, 0.16), anal=(0.12, 0.20, 0.08), pect=0.20, shark=True, jaw=True),
}

PHASES = [0.0, 0.5 * math.pi, math.pi, 1.5 * math.pi, 0.0]


def fish_group(doc, kind, frame, ox=0.0, oy=0.0):
    """One pattern of fish `kind`, facing right, in a box at (ox, oy)."""
    k = KINDS[kind]
    W, H = k["W"], k["H"]
    ph = PHASES[frame]
    sw = math.sin(ph)
    open_mouth = frame == 4
    m = 3.0                                  # keeps the outline inside the box
    cy = H * k.get("cy", 0.5)
    tail_len = W * k["tail"]
    x_root = m + tail_len
    x_nose = W - m
    if k.get("snout"):
        x_nose = W - m - W * 0.12
    hmax = H * k["thick"]
    a, b, root = k["a"], k["b"], k["root"]
    smax = (a / (a + b)) ** a * (b / (a + b)) ** b

    def thick(t):
        s = (t ** a) * ((1 - t) ** b) / smax
        return hmax * (root + (1 - root) * s)

    def centre(t):
        if k.get("eel"):
            amp = H * 0.16 * (0.25 + 0.75 * (1 - t))
            return cy + amp * math.sin(2 * math.pi * 1.2 * (1 - t) - ph) * (1 - t ** 3)
        return cy + H * 0.05 * sw * (1 - t) ** 2.5

    n = 48
    top, bot = [], []
    belly_drop = 0.12 if k.get("shark") else 0.0
    for i in range(n + 1):
        t = i / n
        x = x_root + t * (x_nose - x_root)
        c = centre(t)
        h = thick(t)
        top.append((x, c - h * (1.0 + belly_drop)))
        bot.append((x, c + h * (1.0 - belly_drop)))
    outline = top + list(reversed(bot))
    body_d = poly_path(outline)
    parts = []

    # Tail: hinged on the root, swinging with the cycle.
    rc = centre(0.0)
    rh = thick(0.0)
    ang = -0.35 * sw                        # radians, swing up/down
    def rot(px, py):
        dx, dy = px - x_root, py - rc
        return (x_root + dx * math.cos(ang) - dy * math.sin(ang), rc + dx * math.sin(ang) + dy * math.cos(ang))
    ts = k["tailshape"]
    L = tail_len + rh * 0.3
    if ts == "fan":
        span = H * 0.34
        tail = [(x_root + 2, rc - rh), (x_root - L, rc - span), (x_root - L * 0.82, rc),
                (x_root - L, rc + span), (x_root + 2, rc + rh)]
        tail_d = "M%s %s Q%s %s %s %s Q%s %s %s %s Q%s %s %s %s Z" % (
            f(rot(*tail[0])[0]), f(rot(*tail[0])[1]),
            f(rot(x_root - L * 0.6, rc - span * 0.9)[0]), f(rot(x_root - L * 0.6, rc - span * 0.9)[1]),
            f(rot(*tail[1])[0]), f(rot(*tail[1])[1]),
            f(rot(x_root - L * 1.15, rc)[0]), f(rot(x_root - L * 1.15, rc)[1]),
            f(rot(*tail[3])[0]), f(rot(*tail[3])[1]),
            f(rot(x_root - L * 0.6, rc + span * 0.9)[0]), f(rot(x_root - L * 0.6, rc + span * 0.9)[1]),
            f(rot(*tail[4])[0]), f(rot(*tail[4])[1]))
    elif ts == "fork":
        span = H * 0.36
        tail_d = poly_path([rot(x_root + 2, rc - rh), rot(x_root - L, rc - span), rot(x_root - L * 0.55, rc),
                            rot(x_root - L, rc + span), rot(x_root + 2, rc + rh)])
    elif ts == "crescent":
        span = H * 0.40
        tail_d = "M%s %s Q%s %s %s %s Q%s %s %s %s Q%s %s %s %s Q%s %s %s %s Z" % tuple(
            f(v) for p in [rot(x_root + 4, rc - rh),
                           rot(x_root - L * 0.4, rc - span * 0.6), rot(x_root - L * 0.95, rc - span),
                           rot(x_root - L * 0.45, rc - span * 0.2), rot(x_root - L * 0.35, rc),
                           rot(x_root - L * 0.55, rc + span * 0.2), rot(x_root - L * 0.8, rc + span * 0.62),
                           rot(x_root - L * 0.2, rc + span * 0.35), rot(x_root + 4, rc + rh)] for v in p)
    elif ts == "whip":
        pts_w = []
        for i in range(13):
            u = i / 12
            pts_w.append((x_root + 4 - u * (tail_len + 2), rc + H * 0.10 * math.sin(ph + u * 3.0) * u))
        tail_d = poly_path(pts_w, close=False)
    else:  # eel: a pointed tip finishing the long fin
        tail_d = poly_path([(x_root + 3, rc - rh * 1.6), (m, rc + H * 0.02 * sw), (x_root + 3, rc + rh * 1.6)])
    if ts == "whip":
        parts.append('<path d="%s" fill="none" stroke="%s" stroke-width="7" stroke-linecap="round"/>' % (tail_d, INK))
        parts.append('<path d="%s" fill="none" stroke="%s" stroke-width="3.4" stroke-linecap="round"/>' % (tail_d, k["fin"]))
        tip = (x_root + 4 - (tail_len + 2), rc + H * 0.10 * math.sin(ph + 3.0))
        parts.append('<path d="%s" fill="%s" stroke="%s" stroke-width="2"/>' % (
            poly_path([(tip[0] + 14, tip[1] - 6), (tip[0], tip[1]), (tip[0] + 14, tip[1] + 6)]), k["fin"], INK))
    else:
        fill = doc.lin([(0, k["fin"]), (1, k["top"])], 0, 0, 1, 0)
        parts.append('<path d="%s" fill="%s" stroke="%s" stroke-width="2" stroke-linejoin="round"/>' % (tail_d, fill, INK))
        # fin rays
        for j in (-1, 0, 1):
            p0 = rot(x_root - 2, rc + j * rh * 0.4)
            p1 = rot(x_root - L * 0.7, rc + j * H * 0.16)
            parts.append('<line x1="%s" y1="%s" x2="%s" y2="%s" stroke="%s" stroke-width="1.2" opacity="0.6"/>'
                         % (f(p0[0]), f(p0[1]), f(p1[0]), f(p1[1]), INK))

    def edge_point(t, upper):
        x = x_root + t * (x_nose - x_root)
        h = thick(t)
        c = centre(t)
        return (x, c - h * (1 + belly_drop)) if upper else (x, c + h * (1 - belly_drop))

    def fin(t0, t1, height, upper, flutter):
        p0 = edge_point(t0, upper)
        p1 = edge_point(t1, upper)
        sgn = -1 if upper else 1
        tip_x = p0[0] + (p1[0] - p0[0]) * 0.25 - flutter * W * 0.03
        tip_y = min(p0[1], p1[1]) - H * height if upper else max(p0[1], p1[1]) + H * height
        q = (p1[0] - (p1[0] - p0[0]) * 0.1, (p1[1] + tip_y) / 2 + sgn * H * 0.02)
        d = "M%s %s Q%s %s %s %s Q%s %s %s %s Z" % (
            f(p0[0] - 2), f(p0[1] - sgn * 4), f(p0[0]), f(tip_y), f(tip_x), f(tip_y),
            f(q[0]), f(q[1]), f(p1[0] + 2), f(p1[1] - sgn * 4))
        return '<path d="%s" fill="%s" stroke="%s" stroke-width="2" stroke-linejoin="round"/>' % (d, k["fin"], INK)

    if k.get("dorsal"):
        t0, t1, hh = k["dorsal"]
        parts.append(fin(t0, t1, hh, True, sw))
    if k.get("anal"):
        t0, t1, hh = k["anal"]
        parts.append(fin(t0, t1, hh, False, -sw))
    if k.get("eel"):
        # one long ribbon fin above and below, rippling with the body
        up, dn = [], []
        for i in range(n + 1):
            t = i / n
            if t > 0.72:
                break
            x = x_root + t * (x_nose - x_root)
            c = centre(t)
            hh = thick(t) + H * 0.07 * (1 - t * 0.6)
            up.append((x, c - hh))
            dn.append((x, c + hh))
        parts.append('<path d="%s" fill="%s" stroke="%s" stroke-width="2" stroke-linejoin="round"/>'
                     % (poly_path(up + [edge_point(0.72, True)] + list(reversed([edge_point(i / n, True) for i in range(int(0.72 * n) + 1)]))),
                        k["fin"], INK))
        parts.append('<path d="%s" fill="%s" stroke="%s" stroke-width="2" stroke-linejoin="round"/>'
                     % (poly_path(dn + [edge_point(0.6, False)] + list(reversed([edge_point(i / n, False) for i in range(int(0.6 * n) + 1)]))),
                        k["fin"], INK))
    if k.get("wings"):
        # the ray's broad wings beat up and down
        lift = math.cos(ph)
        for upper in (True, False):
            p0 = edge_point(0.12, upper)
            p1 = edge_point(0.80, upper)
            sgn = -1 if upper else 1
            reach = H * (0.21 + 0.08 * (lift if upper else -lift))
            tip = (p0[0] + (p1[0] - p0[0]) * 0.42, cy + sgn * (hmax + reach))
            d = "M%s %s Q%s %s %s %s Q%s %s %s %s Z" % (
                f(p0[0]), f(p0[1]), f(p0[0] + 8), f(tip[1] - sgn * reach * 0.2), f(tip[0]), f(tip[1]),
                f(p1[0] - 10), f(tip[1] - sgn * reach * 0.15), f(p1[0]), f(p1[1]))
            parts.append('<path d="%s" fill="%s" stroke="%s" stroke-width="2" stroke-linejoin="round"/>'
                         % (d, doc.lin([(0, k["top"]), (1, k["fin"])], 0, 0 if upper else 1, 0, 1 if upper else 0), INK))

    # Mouth: frame 4 cuts a notch from the nose and shows the throat.
    mouth_y = centre(1.0) + (H * 0.04 if k.get("shark") else 0.0)
    nose_x = W - m if k.get("snout") else x_nose
    depth = (x_nose - x_root) * (0.24 if k.get("jaw") else 0.20)
    if k.get("shark"):
        depth = (x_nose - x_root) * 0.16
    gape = max(H * (0.20 if k.get("jaw") else 0.15), (thick(0.75) if k.get("jaw") else thick(0.85) * 0.75))
    apex = (x_nose - depth, mouth_y)
    wedge = [apex, (W + 10, mouth_y - gape * 1.6), (W + 10, mouth_y + gape * 1.6)]
    body_fill = doc.lin([(0, k["top"]), (0.55, k["top"]), (0.62, k["belly"]), (1, k["belly"])], 0, 0, 0, 1)
    if kind in (1, 4):
        body_fill = doc.lin([(0, k["top"]), (0.5, k["top"]), (1, k["belly"])], 0, 0, 0, 1)
    decor = []
    bclip = doc.clip('<path d="%s"/>' % body_d)
    if k.get("stripes"):
        for j in range(k["stripes"]):
            t = 0.18 + j * 0.30
            x = x_root + t * (x_nose - x_root)
            wdt = W * 0.07
            bend = H * 0.05 * sw * (1 - t) ** 2.5
            decor.append('<path d="M%s -5 Q%s %s %s %s L%s %s Q%s %s %s -5 Z" fill="#fdfdf8" stroke="%s" stroke-width="3"/>'
                         % (f(x - wdt / 2), f(x - wdt / 2 + bend + 6), f(H / 2), f(x - wdt / 2), f(H + 5),
                            f(x + wdt / 2), f(H + 5), f(x + wdt / 2 + bend + 6), f(H / 2), f(x + wdt / 2), INK))
    if k.get("bands"):
        for j in range(9):
            t = 0.08 + j * 0.095
            p = edge_point(t, True)
            decor.append('<ellipse cx="%s" cy="%s" rx="%s" ry="%s" fill="%s" opacity="0.75"/>'
                         % (f(p[0]), f(p[1] + thick(t) * 0.5), f(W * 0.018), f(thick(t) * 0.55), k["bands"]))
    if k.get("spots"):
        import random
        rnd = random.Random(kind * 7)
        for j in range(14 if kind != 5 else 10):
            t = rnd.uniform(0.1, 0.8)
            p = edge_point(t, True)
            yy = p[1] + thick(t) * rnd.uniform(0.35, 1.5 if kind != 6 else 1.2)
            r = H * rnd.uniform(0.018, 0.035)
            decor.append('<circle cx="%s" cy="%s" r="%s" fill="%s" opacity="0.85"/>' % (f(p[0]), f(yy), f(r), k["spots"]))
    if k.get("shark"):
        for j in range(4):
            gx = x_root + (0.70 - j * 0.035) * (x_nose - x_root)
            c = centre(0.7)
            decor.append('<path d="M%s %s q%s %s 0 %s" fill="none" stroke="%s" stroke-width="2" opacity="0.7"/>'
                         % (f(gx), f(c - hmax * 0.55), f(-5), f(hmax * 0.5), f(hmax * 0.9), INK))
    # a soft highlight along the back sells the roundness
    decor.append('<path d="%s" fill="none" stroke="#ffffff" stroke-width="%s" stroke-linecap="round" opacity="0.35"/>'
                 % (poly_path([(p[0], p[1] + hmax * 0.22) for p in top[int(n * 0.2):int(n * 0.8)]], close=False),
                    f(max(2.0, hmax * 0.12))))
    if k.get("spikes"):
        sp = []
        for i in range(2, n - 1, 3):
            for side in (top, bot):
                p, q = side[i - 1], side[i + 1]
                dx, dy = q[0] - p[0], q[1] - p[1]
                ln = math.hypot(dx, dy) or 1
                nx, ny = dy / ln, -dx / ln
                if side is bot:
                    nx, ny = -nx, -ny
                c = side[i]
                sp.append('<path d="%s" fill="%s" stroke="%s" stroke-width="1.5" stroke-linejoin="round"/>'
                          % (poly_path([(c[0] - dx * 0.6, c[1] - dy * 0.6), (c[0] + nx * H * 0.07, c[1] + ny * H * 0.07),
                                        (c[0] + dx * 0.6, c[1] + dy * 0.6)]), "#f5e6a8", INK))
        parts.extend(sp)

    body_parts = ['<path d="%s" fill="%s"/>' % (body_d, body_fill),
                  '<g clip-path="%s">%s</g>' % (bclip, "".join(decor)),
                  '<path d="%s" fill="none" stroke="%s" stroke-width="2.2" stroke-linejoin="round"/>' % (body_d, INK)]
    if k.get("snout"):
        sn = [(x_nose - 6, mouth_y - thick(0.97) - 1), (W - m, mouth_y - 1.2), (W - m, mouth_y + 1.2), (x_nose - 6, mouth_y + thick(0.97) + 1)]
        body_parts.append('<path d="%s" fill="%s" stroke="%s" stroke-width="2" stroke-linejoin="round"/>' % (poly_path(sn), k["top"], INK))
    # pectoral fin, paddling with the cycle
    if k["pect"] > 0:
        pc = (x_root + 0.62 * (x_nose - x_root), centre(0.62) + thick(0.62) * 0.35)
        pa = 0.5 + 0.35 * math.cos(ph)
        plen = H * k["pect"] * (1.6 if k.get("shark") else 1.0)
        tip = (pc[0] - plen * math.cos(pa), pc[1] + plen * math.sin(pa))
        d = "M%s %s Q%s %s %s %s Q%s %s %s %s Z" % (
            f(pc[0]), f(pc[1] - 3), f(tip[0] - 2), f(tip[1] - plen * 0.5), f(tip[0]), f(tip[1]),
            f(tip[0] + plen * 0.5), f(tip[1]), f(pc[0] + 2), f(pc[1] + 3))
        body_parts.append('<path d="%s" fill="%s" stroke="%s" stroke-width="2" stroke-linejoin="round"/>' % (d, k["fin"], INK))
    # eye: big and readable, a touch behind and above the mouth
    er = max(4.0, H * k["eye"] * 0.55) if kind != 1 else H * 0.13
    if kind in (6, 7, 8):
        er = H * 0.065
    ex = x_nose - (x_nose - x_root) * (0.14 if kind != 1 else 0.22) - er * 0.4
    if k.get("snout"):
        ex = x_nose - er * 1.6
    ey = centre(0.86) - thick(0.86) * (0.45 if kind != 1 else 0.25)
    body_parts.append('<circle cx="%s" cy="%s" r="%s" fill="#ffffff" stroke="%s" stroke-width="2"/>' % (f(ex), f(ey), f(er), INK))
    body_parts.append('<circle cx="%s" cy="%s" r="%s" fill="%s"/>' % (f(ex + er * 0.25), f(ey), f(er * 0.55), "#0b0f18"))
    body_parts.append('<circle cx="%s" cy="%s" r="%s" fill="#ffffff"/>' % (f(ex + er * 0.05), f(ey - er * 0.25), f(max(1.2, er * 0.2))))
    if k.get("shark") or kind in (6, 7):
        # a stern brow marks the hunters
        body_parts.append('<path d="M%s %s L%s %s" stroke="%s" stroke-width="3" stroke-linecap="round"/>'
                          % (f(ex - er * 1.2), f(ey - er * 1.3), f(ex + er * 1.1), f(ey - er * 0.7), INK))
    if not open_mouth:
        lip = (apex[0] + depth * 0.35, mouth_y)
        body_parts.append('<path d="M%s %s Q%s %s %s %s" fill="none" stroke="%s" stroke-width="2.2" stroke-linecap="round"/>'
                          % (f(lip[0]), f(mouth_y + gape * 0.25), f((lip[0] + nose_x) / 2), f(mouth_y + gape * 0.1),
                             f(nose_x - 1), f(mouth_y), INK))
        g = "".join(parts + body_parts)
    else:
        mk = doc.mask('<rect x="-2000" y="-2000" width="6000" height="6000" fill="#fff"/><path d="%s" fill="#000"/>'
                      % poly_path(wedge))
        throat = [apex, (apex[0] + depth * 0.55, mouth_y - gape * 0.75), (apex[0] + depth * 0.55, mouth_y + gape * 0.75)]
        inner = ['<path d="%s" fill="#6b1020" stroke="%s" stroke-width="2"/>' % (poly_path(throat), INK)]
        if k.get("jaw"):
            for j in range(4):
                u = 0.35 + j * 0.17
                for s in (-1, 1):
                    bx = apex[0] + depth * u
                    by = mouth_y + s * gape * 1.6 * u * 1.0
                    inner.append('<path d="%s" fill="#ffffff" stroke="%s" stroke-width="1"/>'
                                 % (poly_path([(bx - 3, by), (bx + 3, by), (bx, by - s * 6)]), INK))
        # jaw edges, drawn inside the body only
        edges = '<path d="M%s %s L%s %s M%s %s L%s %s" stroke="%s" stroke-width="2.4"/>' % (
            f(wedge[1][0]), f(wedge[1][1]), f(apex[0]), f(apex[1]), f(apex[0]), f(apex[1]), f(wedge[2][0]), f(wedge[2][1]), INK)
        g = ('<g mask="%s">%s</g><g clip-path="%s">%s%s</g>'
             % (mk, "".join(parts + body_parts), bclip, "".join(inner), edges))
    return '<g transform="translate(%s %s)">%s</g>' % (f(ox), f(oy), g)


def fish_strip(kind):
    k = KINDS[kind]
    doc = Doc(k["W"] * 5, k["H"])
    for fr in range(5):
        doc.add(fish_group(doc, kind, fr, fr * k["W"], 0))
    return doc


# ------------------------------------------------------------- objects ----

def sparkle(cx, cy, r, rot=0.0, fill="#fffbe0"):
    p = []
    for i in range(8):
        a = rot + i * math.pi / 4
        rr = r if i % 2 == 0 else r * 0.3
        p.append((cx + rr * math.cos(a), cy + rr * math.sin(a)))
    return '<path d="%s" fill="%s" stroke="%s" stroke-width="1"/>' % (poly_path(p), fill, INK)


def star_points(cx, cy, r1, r2, n, rot=-math.pi / 2):
    p = []
    for i in range(n * 2):
        a = rot + i * math.pi / n
        rr = r1 if i % 2 == 0 else r2
        p.append((cx + rr * math.cos(a), cy + rr * math.sin(a)))
    return p


def obj_frame(doc, kind, fr, ox):
    """48x48 pattern `fr` (0..3) of object kind 1..6."""
    c = 24.0
    t = fr * math.pi / 2
    g = []
    pulse = 1.0 + 0.06 * math.sin(t)
    if kind == 1:   # growth: golden star-shell
        g.append('<path d="%s" fill="%s" stroke="%s" stroke-width="2" stroke-linejoin="round"/>'
                 % (poly_path(star_points(c, c + 1, 19 * pulse, 9 * pulse, 5, -math.pi / 2 + fr * 0.06)),
                    doc.rad([(0, "#fff6b0"), (0.6, "#ffc21a"), (1, "#e07a00")], 0.45, 0.4, 0.6), INK))
        g.append('<circle cx="%s" cy="%s" r="4" fill="#fff8d0"/>' % (f(c - 3), f(c - 2)))
        g.append('<path d="M%s %s l4 -6 l4 6" fill="none" stroke="%s" stroke-width="2.2" stroke-linecap="round"/>' % (f(c - 4), f(c + 6), "#9a4a00"))
        g.append(sparkle(8 + fr * 2, 8, 5 + (fr % 2) * 2, fr * 0.3))
        g.append(sparkle(41, 38 - fr * 3, 4, -fr * 0.3))
    elif kind == 2:  # extra life: red heart pearl
        s = 17 * pulse
        d = ("M%s %s C%s %s %s %s %s %s C%s %s %s %s %s %s C%s %s %s %s %s %s C%s %s %s %s %s %s Z"
             % tuple(f(v) for v in (c, c + s,
                                    c - s * 1.4, c + s * 0.2, c - s * 0.9, c - s * 1.0, c, c - s * 0.45,
                                    c + s * 0.9, c - s * 1.0, c + s * 1.4, c + s * 0.2, c, c + s,
                                    c, c + s, c, c + s, c, c + s,
                                    c, c + s, c, c + s, c, c + s)))
        g.append('<path d="%s" fill="%s" stroke="%s" stroke-width="2" stroke-linejoin="round"/>'
                 % (d, doc.rad([(0, "#ffd0d8"), (0.45, "#f0304a"), (1, "#8e0a1e")], 0.38, 0.35, 0.65), INK))
        g.append('<ellipse cx="%s" cy="%s" rx="4" ry="3" fill="#ffffff" opacity="0.9"/>' % (f(c - 7), f(c - 3)))
        g.append(sparkle(40 - fr, 9 + fr, 5 + (fr % 2) * 2, fr * 0.4))
        g.append(sparkle(8, 40 - fr * 2, 4, fr * 0.2))
    elif kind == 3:  # freeze: icy snowflake crystal
        g.append('<circle cx="%s" cy="%s" r="20" fill="%s" stroke="%s" stroke-width="2"/>'
                 % (f(c), f(c), doc.rad([(0, "#ffffff"), (0.6, "#bfeaff"), (1, "#5fb8e8")]), INK))
        g.append(snowflake(c, c, 15, fr * math.pi / 12, "#1f6fb0", 1.8))
        g.append(sparkle(40, 8 + fr * 2, 4 + (fr % 2) * 2, fr * 0.4, "#e8fbff"))
    elif kind == 4:  # +50: gold coin
        squash = [1.0, 0.82, 0.62, 0.82][fr]
        g.append('<ellipse cx="%s" cy="%s" rx="%s" ry="20" fill="%s" stroke="%s" stroke-width="2"/>'
                 % (f(c), f(c), f(20 * squash), doc.lin([(0, "#fff2a0"), (0.5, "#f0b400"), (1, "#a86a00")], 0, 0, 1, 1), INK))
        g.append('<ellipse cx="%s" cy="%s" rx="%s" ry="15" fill="none" stroke="#a86a00" stroke-width="1.6"/>' % (f(c), f(c), f(15 * squash)))
        g.append('<text x="%s" y="%s" font-family="%s" font-weight="bold" font-size="17" text-anchor="middle" fill="#6b3e00" '
                 'transform="translate(%s 0) scale(%s 1) translate(%s 0)">50</text>' % (f(c), f(c + 6), SMALL, f(c), f(squash), f(-c)))
        g.append(sparkle(9 + fr * 3, 9, 5, fr * 0.3))
    elif kind == 5:  # paralysis: sickly green urchin
        g.append(urchin(doc, c, c, 11, 21 - (fr % 2) * 2, fr * 0.12))
    elif kind == 6:  # -50: dark purple spiked mine
        r2 = 22 - (fr % 2) * 2
        g.append('<path d="%s" fill="#3a1450" stroke="%s" stroke-width="2" stroke-linejoin="round"/>'
                 % (poly_path(star_points(c, c, r2, 13, 10, fr * 0.16)), INK))
        g.append('<circle cx="%s" cy="%s" r="14" fill="%s" stroke="%s" stroke-width="2"/>'
                 % (f(c), f(c), doc.rad([(0, "#9a5cc0"), (0.7, "#4e1a6e"), (1, "#2a0a3c")], 0.4, 0.35, 0.6), INK))
        g.append('<text x="%s" y="%s" font-family="%s" font-weight="bold" font-size="14" text-anchor="middle" fill="#ffd0f0" '
                 'stroke="%s" stroke-width="2.5" paint-order="stroke">-50</text>' % (f(c), f(c + 4.5), SMALL, INK))
        if fr % 2:
            g.append('<circle cx="%s" cy="3.5" r="3" fill="#ff3030" stroke="%s" stroke-width="1"/>' % (f(c), INK))
    return '<g transform="translate(%s 0)">%s</g>' % (f(ox), "".join(g))


def snowflake(cx, cy, r, rot, col, w=2.6):
    out = []
    for i in range(6):
        a = rot + i * math.pi / 3
        ex, ey = cx + r * math.cos(a), cy + r * math.sin(a)
        out.append('<line x1="%s" y1="%s" x2="%s" y2="%s"/>' % (f(cx), f(cy), f(ex), f(ey)))
        for u in (0.5, 0.78):
            bx, by = cx + r * u * math.cos(a), cy + r * u * math.sin(a)
            for s in (-1, 1):
                b = a + s * 0.75
                ln = r * 0.22
                out.append('<line x1="%s" y1="%s" x2="%s" y2="%s"/>' % (f(bx), f(by), f(bx + ln * math.cos(b)), f(by + ln * math.sin(b))))
    return ('<g stroke="%s" stroke-width="%s" stroke-linecap="round">%s</g>'
            '<g stroke="%s" stroke-width="%s" stroke-linecap="round">%s</g>'
            % (INK, f(w + 2), "".join(out), col, f(w), "".join(out)))


def urchin(doc, cx, cy, r1, r2, rot):
    spikes = []
    for i in range(16):
        a = rot + i * math.pi / 8
        b = 0.16
        spikes.append('<path d="%s"/>' % poly_path([(cx + r1 * math.cos(a - b), cy + r1 * math.sin(a - b)),
                                                    (cx + r2 * math.cos(a), cy + r2 * math.sin(a)),
                                                    (cx + r1 * math.cos(a + b), cy + r1 * math.sin(a + b))]))
    return ('<g fill="#9ccc2a" stroke="%s" stroke-width="1.6" stroke-linejoin="round">%s</g>'
            '<circle cx="%s" cy="%s" r="%s" fill="%s" stroke="%s" stroke-width="2"/>'
            '<circle cx="%s" cy="%s" r="%s" fill="#3d5a08" opacity="0.8"/><circle cx="%s" cy="%s" r="%s" fill="#3d5a08" opacity="0.8"/>'
            % (INK, "".join(spikes), f(cx), f(cy), f(r1 + 1), doc.rad([(0, "#d8f07a"), (0.6, "#7aa81c"), (1, "#46650a")], 0.4, 0.35, 0.6), INK,
               f(cx - r1 * 0.35), f(cy - r1 * 0.1), f(r1 * 0.18), f(cx + r1 * 0.3), f(cy + r1 * 0.25), f(r1 * 0.14)))


def objects(kind):
    doc = Doc(48 * 4, 48)
    for fr in range(4):
        doc.add(obj_frame(doc, kind, fr, fr * 48))
    return doc


# ------------------------------------------------------- small sprites ----

def bubble(doc, cx, cy, r):
    return ('<circle cx="%s" cy="%s" r="%s" fill="%s" stroke="#1d4f78" stroke-width="1.6"/>'
            '<ellipse cx="%s" cy="%s" rx="%s" ry="%s" fill="#ffffff" opacity="0.9"/>'
            % (f(cx), f(cy), f(r), doc.rad([(0, "#e9fbff"), (0.7, "#8fd6f2"), (1, "#bfefff")], 0.5, 0.5, 0.5, 0.35, 0.3),
               f(cx - r * 0.35), f(cy - r * 0.4), f(r * 0.28), f(r * 0.18)))


def doc_puzir():
    d = Doc(20, 20)
    d.add(bubble(d, 10, 10, 8.5))
    return d


def doc_puziri():
    d = Doc(30, 40)
    d.add(bubble(d, 12, 30, 8.5), bubble(d, 21, 17, 6.5), bubble(d, 11, 8, 5), bubble(d, 23, 4.5, 3))
    return d


def bones(cx, cy, length, height, ribs, w=2.0, col="#f4efe0", head=True):
    """A fish skeleton centred on (cx, cy), head at the right."""
    x0, x1 = cx - length / 2, cx + length / 2
    hx = x1 - height * 0.55 if head else x1
    out = []
    out.append('<path d="M%s %s L%s %s" stroke="%s" stroke-width="%s" stroke-linecap="round"/>' % (f(x0 + height * 0.25), f(cy), f(hx), f(cy), INK, f(w * 2.6)))
    rib = []
    for i in range(ribs):
        x = x0 + height * 0.4 + (hx - x0 - height * 0.5) * (i + 0.5) / ribs
        hh = height * 0.42 * math.sin(math.pi * (0.25 + 0.7 * (i + 0.5) / ribs))
        rib.append('M%s %s Q%s %s %s %s M%s %s Q%s %s %s %s' % (
            f(x + hh * 0.25), f(cy - hh), f(x), f(cy - hh * 0.4), f(x), f(cy),
            f(x + hh * 0.25), f(cy + hh), f(x), f(cy + hh * 0.4), f(x), f(cy)))
    out.append('<path d="%s" fill="none" stroke="%s" stroke-width="%s" stroke-linecap="round"/>' % (" ".join(rib), INK, f(w * 2.4)))
    out.append('<path d="%s" fill="none" stroke="%s" stroke-width="%s" stroke-linecap="round"/>' % (" ".join(rib), col, f(w)))
    out.append('<path d="M%s %s L%s %s" stroke="%s" stroke-width="%s" stroke-linecap="round"/>' % (f(x0 + height * 0.25), f(cy), f(hx), f(cy), col, f(w * 1.3)))
    tail = [(x0 + height * 0.3, cy), (x0 + 1, cy - height * 0.4), (x0 + height * 0.12, cy), (x0 + 1, cy + height * 0.4)]
    out.append('<path d="%s" fill="%s" stroke="%s" stroke-width="%s" stroke-linejoin="round"/>' % (poly_path(tail), col, INK, f(w)))
    if head:
        hd = "M%s %s Q%s %s %s %s L%s %s L%s %s Q%s %s %s %s Z" % (
            f(hx - height * 0.05), f(cy - height * 0.42), f(x1 - height * 0.1), f(cy - height * 0.5), f(x1), f(cy - height * 0.05),
            f(x1 - height * 0.18), f(cy + height * 0.02), f(x1 - height * 0.02), f(cy + height * 0.12),
            f(x1 - height * 0.2), f(cy + height * 0.45), f(hx - height * 0.05), f(cy + height * 0.38))
        out.append('<path d="%s" fill="%s" stroke="%s" stroke-width="%s" stroke-linejoin="round"/>' % (hd, col, INK, f(w)))
        out.append('<circle cx="%s" cy="%s" r="%s" fill="%s"/>' % (f(x1 - height * 0.28), f(cy - height * 0.16), f(height * 0.1), INK))
    return "".join(out)


def doc_skelet():
    d = Doc(240, 100)
    d.add(bones(120, 50, 230, 92, 7, 3.2))
    return d


def doc_sklt1():
    d = Doc(20, 20)
    d.add(bones(10, 10, 19, 15, 3, 1.1))
    return d


def doc_sklt2():
    # growth mark: a golden up-arrow badge
    d = Doc(26, 26)
    d.add('<circle cx="13" cy="13" r="11.5" fill="%s" stroke="%s" stroke-width="2"/>'
          % (d.rad([(0, "#fff3a0"), (1, "#e89a00")], 0.4, 0.35, 0.7), INK),
          '<path d="M13 5 L20 13 L16 13 L16 20 L10 20 L10 13 L6 13 Z" fill="#ffffff" stroke="%s" stroke-width="1.4" stroke-linejoin="round"/>' % INK)
    return d


def doc_lifes():
    d = Doc(44, 30)
    lifes_parts(d)
    return d


def lifes_parts(d):
    # a little player fish, its own small drawing so it stays crisp
    body = "M8 15 Q14 3 28 4 Q41 6 42 15 Q41 24 28 26 Q14 27 8 15 Z"
    d.add('<path d="M10 15 L2 5 L4 15 L2 25 Z" fill="#ff6a2a" stroke="%s" stroke-width="1.8" stroke-linejoin="round"/>' % INK,
          '<path d="M20 6 Q26 0 32 5" fill="#ff6a2a" stroke="%s" stroke-width="1.6"/>' % INK,
          '<path d="%s" fill="%s" stroke="%s" stroke-width="2"/>' % (body, d.lin([(0, "#f08a1c"), (0.5, "#f08a1c"), (1, "#ffe27a")]), INK),
          '<circle cx="33" cy="12" r="4.5" fill="#fff" stroke="%s" stroke-width="1.5"/><circle cx="34.2" cy="12" r="2.4" fill="#0b0f18"/>' % INK,
          '<path d="M36 19 Q39 20 41.5 17" fill="none" stroke="%s" stroke-width="1.6" stroke-linecap="round"/>' % INK)


def doc_mparalich():
    d = Doc(56, 56)
    d.add('<circle cx="28" cy="28" r="26" fill="%s" stroke="%s" stroke-width="2"/>' % (d.rad([(0, "#ffffff"), (0.55, "#bfeaff"), (1, "#3f9ad6")]), INK),
          snowflake(28, 28, 20, 0, "#1f6fb0", 3.2))
    return d


def doc_paralich():
    d = Doc(56, 56)
    d.add(urchin(d, 28, 28, 14, 27, 0.1))
    return d


def seaweed(w, h, blades, seed, colour):
    """4 patterns of a clump swaying; blades are (x, height, width, phase)."""
    d = Doc(w * 4, h)
    for fr in range(4):
        ph = fr * math.pi / 2
        g = []
        for (bx, bh, bw, bp) in blades:
            left, right = [], []
            n = 16
            for i in range(n + 1):
                u = i / n
                y = h - 2 - u * bh
                sway = (w * 0.16) * math.sin(ph + bp + u * 2.2) * u ** 1.4
                wd = bw * (1 - u) ** 0.7 * (0.6 + 0.4 * math.sin(u * 9 + bp) ** 2) + 1.0
                x = bx + sway
                left.append((x - wd / 2, y))
                right.append((x + wd / 2, y))
            g.append('<path d="%s" fill="%s" stroke="%s" stroke-width="2" stroke-linejoin="round"/>'
                     % (poly_path(left + list(reversed(right))), d.lin([(0, colour[1]), (1, colour[0])], 0, 0, 0, 1), INK))
            mid = [((l[0] + r[0]) / 2, l[1]) for l, r in zip(left, right)][:-3]
            g.append('<path d="%s" fill="none" stroke="%s" stroke-width="1.2" opacity="0.7"/>' % (poly_path(mid, close=False), colour[2]))
        d.add('<g transform="translate(%d 0)">%s</g>' % (fr * w, "".join(g)))
    return d


# --------------------------------------------------------------- scenes ----

def water(doc, w, h, stops, shafts=True, seed=1):
    import random
    rnd = random.Random(seed)
    doc.add('<rect width="%d" height="%d" fill="%s"/>' % (w, h, doc.lin(stops)))
    if shafts:
        sh = doc.lin([(0, "#ffffff", 0.22), (1, "#ffffff", 0.0)])
        for i in range(6):
            x = 60 + i * 130 + rnd.uniform(-30, 30)
            wd = rnd.uniform(30, 70)
            doc.add('<path d="M%s 0 L%s 0 L%s %s L%s %s Z" fill="%s"/>'
                    % (f(x), f(x + wd), f(x + wd + 140), f(h * 0.8), f(x + 40), f(h * 0.8), sh))


def seabed(doc, w, h, sand, rock, seed, base=520):
    import random
    rnd = random.Random(seed)
    pts_s = [(0, h)]
    for i in range(0, w + 41, 40):
        pts_s.append((i, base + 18 * math.sin(i / 90.0 + seed) + rnd.uniform(-4, 4)))
    pts_s.append((w, h))
    doc.add('<path d="%s" fill="%s" stroke="%s" stroke-width="2"/>' % (poly_path(pts_s), doc.lin([(0, sand[0]), (1, sand[1])]), INK))
    for i in range(40):
        x, y = rnd.uniform(0, w), rnd.uniform(base + 25, h - 4)
        doc.add('<ellipse cx="%s" cy="%s" rx="%s" ry="%s" fill="%s" opacity="0.5"/>' % (f(x), f(y), f(rnd.uniform(2, 5)), f(rnd.uniform(1, 2.5)), sand[2]))
    for i in range(7):
        x = rnd.uniform(0, w)
        rw, rh = rnd.uniform(40, 110), rnd.uniform(25, 60)
        y = base + 30 + rnd.uniform(-10, 25)
        doc.add('<ellipse cx="%s" cy="%s" rx="%s" ry="%s" fill="%s" stroke="%s" stroke-width="2"/>'
                % (f(x), f(y), f(rw / 2), f(rh / 2), doc.lin([(0, rock[0]), (1, rock[1])]), INK))
        doc.add('<ellipse cx="%s" cy="%s" rx="%s" ry="%s" fill="#ffffff" opacity="0.15"/>' % (f(x - rw * 0.12), f(y - rh * 0.2), f(rw * 0.25), f(rh * 0.15)))


def coral(doc, x, y, s, col):
    arms = []
    for a, l in ((-0.9, 0.8), (-0.4, 1.0), (0.1, 0.9), (0.6, 0.75), (1.0, 0.6)):
        ex, ey = x + math.sin(a) * 60 * s * l, y - math.cos(a) * 70 * s * l
        arms.append('M%s %s Q%s %s %s %s' % (f(x), f(y), f(x + math.sin(a) * 20 * s), f(y - 40 * s * l), f(ex), f(ey)))
    d = " ".join(arms)
    doc.add('<path d="%s" fill="none" stroke="%s" stroke-width="%s" stroke-linecap="round"/>' % (d, INK, f(14 * s)),
            '<path d="%s" fill="none" stroke="%s" stroke-width="%s" stroke-linecap="round"/>' % (d, col, f(10 * s)))


def bubbles_deco(doc, seed, n, area, keep_clear=()):
    """Painted bubbles; none touches a `keep_clear` box (x0, y0, x1, y1),
    where the game writes a text over the picture."""
    import random
    rnd = random.Random(seed)
    x0, y0, x1, y1 = area
    placed = 0
    while placed < n:
        r = rnd.uniform(2, 6)
        x, y = rnd.uniform(x0, x1), rnd.uniform(y0, y1)
        if any(cx0 - r - 2 < x < cx1 + r + 2 and cy0 - r - 2 < y < cy1 + r + 2 for cx0, cy0, cx1, cy1 in keep_clear):
            continue
        placed += 1
        doc.add('<circle cx="%s" cy="%s" r="%s" fill="#dff7ff" fill-opacity="0.35" stroke="#e8fbff" stroke-opacity="0.7" stroke-width="1.2"/>'
                % (f(x), f(y), f(r)))


def plaque(doc, x, y, w, h, text, lit, size=32):
    """A label box; the lit form is the highlight picture's look."""
    r = h / 2.4
    if lit:
        fill = doc.lin([(0, "#fffbe0"), (0.45, "#ffd34a"), (1, "#ff9a1a")])
        out = ['<rect x="%s" y="%s" width="%s" height="%s" rx="%s" fill="%s" stroke="#7a3a00" stroke-width="2.5"/>'
               % (f(x + 1.5), f(y + 1.5), f(w - 3), f(h - 3), f(r), fill),
               '<rect x="%s" y="%s" width="%s" height="%s" rx="%s" fill="#ffffff" opacity="0.45"/>'
               % (f(x + 8), f(y + 4), f(w - 16), f(h * 0.28), f(h * 0.14)),
               label(x + w / 2, y + h * 0.74, text, size, "#b51f00", "#fff6c0", 4)]
    else:
        fill = doc.lin([(0, "#1d6f9c"), (1, "#0c3e66")])
        out = ['<rect x="%s" y="%s" width="%s" height="%s" rx="%s" fill="%s" fill-opacity="0.75" stroke="#8fe0ff" stroke-opacity="0.7" stroke-width="2"/>'
               % (f(x + 1.5), f(y + 1.5), f(w - 3), f(h - 3), f(r), fill),
               label(x + w / 2, y + h * 0.74, text, size, "#eafcff", "#06223a", 3)]
    return "".join(out)


MAIN_ITEMS = [("BMP", "MULTIPLAYER", 149), ("Start", "START GAME", 214), ("Opt", "OPTIONS", 269),
              ("HScores", "HIGH SCORES", 326), ("Help", "HELP", 383), ("Visit", "VISIT WEB SITE", 442),
              ("Exit", "EXIT", 499)]


def doc_fonmenu():
    d = Doc(800, 600)
    water(d, 800, 600, [(0, "#0a2f6e"), (0.55, "#127fa8"), (1, "#3fd0d0")], True, 3)
    bubbles_deco(d, 5, 30, (20, 150, 780, 500))
    # Deep water under the title, where "PLEASE WAIT ..." is written in red
    # at (324, 110) while the lobby waits for the network.
    band = d.lin([(0, "#03102a", 0), (0.22, "#03102a", 0.9), (0.78, "#03102a", 0.9), (1, "#03102a", 0)], x2=1, y2=0)
    d.add('<rect x="262" y="104" width="276" height="42" rx="18" fill="%s"/>' % band)
    seabed(d, 800, 600, ("#f2d98c", "#c8a258", "#a07a38"), ("#7f8a96", "#4a5562"), 2, 540)
    coral(d, 70, 560, 1.3, "#ff7a8a")
    coral(d, 700, 570, 1.1, "#ffb347")
    coral(d, 560, 575, 0.8, "#c78cff")
    for key, text, y in MAIN_ITEMS:
        d.add(plaque(d, 190, y, 300, 46, text, False))
    return d


def doc_highlight(text, w=300, h=46, size=32, lit_h=None, lit_size=None):
    """The lit label; `lit_h` paints only the top of the box, the rest stays clear."""
    d = Doc(w, h)
    d.add(plaque(d, 0, 0, w, lit_h or h, text, True, lit_size or size))
    return d


def doc_fongame(which):
    d = Doc(800, 600)
    if which == 1:
        water(d, 800, 600, [(0, "#061a3a"), (0.1, "#0a2a55"), (0.11, "#0d3a6e"), (0.6, "#167fa6"), (1, "#2fb8b8")], True, 11)
        seabed(d, 800, 600, ("#e8cf86", "#b8924c", "#8e6c30"), ("#6f7c8a", "#3f4a58"), 7, 545)
        coral(d, 250, 585, 1.0, "#ff6f7f")
        coral(d, 560, 590, 0.9, "#ffb347")
    else:
        water(d, 800, 600, [(0, "#0f1432"), (0.1, "#1a1f4e"), (0.11, "#212a66"), (0.6, "#31639a"), (1, "#5aa0a0")], True, 19)
        seabed(d, 800, 600, ("#d8c7a0", "#9c8a68", "#6e5e44"), ("#7a5f7a", "#4a3850"), 13, 535)
        coral(d, 60, 585, 1.2, "#9ae05a")
        coral(d, 450, 590, 1.0, "#ff8ad0")
        coral(d, 730, 585, 0.8, "#5ad8ff")
    # the status strip: calm and dark so the score and icons read
    d.add('<rect x="0" y="0" width="800" height="60" fill="%s"/>' % d.lin([(0, "#04122a" if which == 1 else "#0a0c22"), (1, "#0a2a55" if which == 1 else "#1a1f4e")]),
          '<rect x="0" y="60" width="800" height="3" fill="#8fd6f2" opacity="0.6"/>')
    # Clear water where the banners stand: "Level N" and "Round N" at
    # (350, 200) and the big "Pause" at (360, 200).
    bubbles_deco(d, 23 + which, 18, (20, 90, 780, 480), keep_clear=[(340, 195, 540, 275)])
    return d


PANEL_LIGHT = "#eaf6fb"
PANEL_MID = "#4a86b0"
PANEL_DARK = "#0d2a48"
ANSWER_BLUE = "#4f8fbf"    # white and black both read on it


def panel(d, w=762, h=450):
    d.add('<rect x="2" y="2" width="%s" height="%s" rx="26" fill="%s" stroke="%s" stroke-width="3"/>'
          % (w - 4, h - 4, d.lin([(0, "#2a9ac6"), (1, "#0f5a8a")]), INK),
          '<rect x="9" y="9" width="%s" height="%s" rx="20" fill="none" stroke="#bff0ff" stroke-width="2" opacity="0.7"/>' % (w - 18, h - 18))
    bubbles_deco(d, w + h, 16, (20, 20, w - 20, h - 20))


def title(d, text, x=381, y=44):
    d.add(label(x, y, text, 40, "#fff4c0", INK, 5))


def area(d, x0, y0, x1, y1, col, sx=19, sy=135, r=10, stroke="#0a2238"):
    """A box given in screen coordinates, drawn on a panel at (sx, sy)."""
    d.add('<rect x="%s" y="%s" width="%s" height="%s" rx="%s" fill="%s" stroke="%s" stroke-width="2"/>'
          % (f(x0 - sx), f(y0 - sy), f(x1 - x0), f(y1 - y0), f(r), col, stroke))


def tag(d, x, y, s, size=24, sx=19, sy=135, anchor="start", fill="#fff4c0"):
    d.add(label(x - sx, y - sy, s, size, fill, INK, 4, anchor=anchor))


def button(d, x, y, s, sx=19, sy=135, w=200, h=40, size=28):
    d.add(plaque(d, x - sx, y - sy, w, h, s, False, size))


# BACK at (24, 520) on the high-score screen, the lobby and the room shares
# one highlight (HScrBack, 200 x 40 so its hit box stays); its plaque is only
# the top 30 pixels, so it ends above the lobby's and room's help bar.
LOW_BACK_H = 30
LOW_BACK_SIZE = 25


def low_back(d, sy=135):
    button(d, 24, 520, "BACK", sy=sy, h=LOW_BACK_H, size=LOW_BACK_SIZE)


def help_bar(d, sy=135):
    # the help lines are written at y 557 and 575 in small black print
    area(d, 22, 554, 778, 595, PANEL_LIGHT, sy=sy, r=8)


def doc_fonopt():
    d = Doc(762, 450)
    panel(d)
    title(d, "OPTIONS")
    tag(d, 160, 240, "DISPLAY", 26, anchor="end")
    tag(d, 160, 305, "MUSIC", 26, anchor="end")
    tag(d, 160, 365, "SOUND", 26, anchor="end")
    tag(d, 160, 420, "TEXT", 26, anchor="end")
    # the choices are written by the game in black and white: mid-tone wells
    # "FULL SCREEN" ends at x 496: the well runs well past it
    area(d, 168, 200, 514, 255, PANEL_MID)
    area(d, 168, 265, 300, 320, PANEL_MID)
    area(d, 168, 325, 300, 380, PANEL_MID)
    area(d, 255, 380, 462, 432, PANEL_MID)
    button(d, 24, 466, "BACK")
    return d


def doc_fonhscr():
    d = Doc(762, 450)
    panel(d)
    title(d, "HIGH SCORES")
    area(d, 38, 205, 565, 458, PANEL_LIGHT)
    for i in range(10):
        if i % 2:
            d.add('<rect x="%s" y="%s" width="%s" height="24" fill="#cfe7f2"/>' % (f(40 - 19), f(212 + 24 * i - 135), f(523)))
    button(d, 21, 461, "CLEAR")
    button(d, 308, 459, "WORLD")
    low_back(d)
    return d


def doc_fonhelp():
    d = Doc(762, 450)
    panel(d)
    title(d, "HELP")
    button(d, 27, 462, "PREVIOUS")
    button(d, 404, 462, "NEXT")
    button(d, 24, 536, "BACK")
    return d


def doc_fonmp():
    d = Doc(762, 464)
    sy = 134
    panel(d, 762, 464)
    title(d, "MULTIPLAYER")
    tag(d, 30, 215, "GAMES", 24, sy=sy)
    area(d, 22, 220, 415, 460, PANEL_DARK, sy=sy, stroke="#8fe0ff")
    for i in range(10):
        d.add('<line x1="%s" y1="%s" x2="%s" y2="%s" stroke="#2a5478" stroke-width="1"/>' % (f(26 - 19), f(246 + 24 * i - sy), f(411 - 19), f(246 + 24 * i - sy)))
    button(d, 450, 192, "JOIN", sy=sy)
    button(d, 450, 245, "CREATE", sy=sy)
    tag(d, 470, 322, "GAME NAME", 24, sy=sy)
    area(d, 470, 329, 745, 365, PANEL_DARK, sy=sy, r=6, stroke="#8fe0ff")
    tag(d, 470, 400, "PLAYER NAME", 24, sy=sy)
    area(d, 470, 407, 745, 443, PANEL_DARK, sy=sy, r=6, stroke="#8fe0ff")
    button(d, 19, 461, "REFRESH", sy=sy)
    button(d, 318, 459, "IP ADDRESS", sy=sy)
    low_back(d, sy)
    help_bar(d, sy)
    return d


def doc_fonmp2():
    d = Doc(762, 463)
    panel(d, 762, 463)
    title(d, "GAME ROOM")
    tag(d, 45, 215, "PLAYERS", 24)
    area(d, 35, 220, 425, 376, PANEL_DARK, stroke="#8fe0ff")
    button(d, 445, 194, "START")
    button(d, 445, 254, "READY")
    button(d, 19, 470, "ROUNDS")
    area(d, 250, 462, 330, 502, PANEL_DARK, r=6, stroke="#8fe0ff")
    low_back(d)
    help_bar(d)
    return d


def doc_qtns():
    # One box serves every question and entry, and the game writes different
    # texts into the same places: black or red questions on top, the typed
    # name and the address in white, YES/NO in white or black, the score line
    # in black below them.  So the inner panel is cream down to the second
    # question line (red reads only on light) and turns to a mid blue (both
    # white and black read on it) in the narrow gap between that line and the
    # white entry line below it.  "GAME OVER" is white where the second line
    # stands: it gets a pattern of its own, deep blue.  Screen = picture +
    # (210, 170); pattern 0 the questions, pattern 1 the game's end.
    d = Doc(760, 220)
    top, bottom = 20, 206

    def at(screen_y):
        return (screen_y - 170 - top) / float(bottom - top)

    questions = d.lin([(0, "#fbf6ea"), (at(298), "#f6efdc"), (at(302), ANSWER_BLUE), (1, "#3f7fae")], 0, 0, 0, 1)
    end = d.lin([(0, "#2f6d9e"), (0.5, "#173f66"), (1, "#0f2f50")], 0, 0, 0, 1)
    for ox, fill in ((0, questions), (380, end)):
        d.add('<rect x="%s" y="2" width="376" height="216" rx="34" fill="%s" stroke="%s" stroke-width="3"/>'
              % (f(ox + 2), d.lin([(0, "#ffe0ea"), (1, "#e8a0b8")], 0, 0, 1, 1), INK))
        d.add('<rect x="%s" y="%s" width="336" height="%s" rx="20" fill="%s" stroke="%s" stroke-width="2"/>'
              % (f(ox + 22), f(top), f(bottom - top), fill, INK))
        # bubbles strung along the rim
        rim = [(x, 11) for x in range(58, 330, 34)] + [(x, 212) for x in range(58, 330, 34)]
        rim += [(x, y) for x in (12, 368) for y in (62, 110, 158)]
        for i, (x, y) in enumerate(rim):
            d.add(bubble(d, ox + x, y, 5 if i % 2 else 3.6))
    return d


def doc_table():
    # Drawn at (50, 90), 700 x 400.  The game writes row i (0..5) at screen
    # y 150 + 30 i: rank at x 70, name at 120, frags right-aligned to about
    # 398, rounds won to 498, score to 705; "OK" at (380, 400).
    d = Doc(700, 400)
    sx, sy = 50, 90
    d.add('<rect width="700" height="400" fill="%s"/>' % d.lin([(0, "#0d2a48"), (1, "#14406a")]),
          '<rect x="6" y="6" width="688" height="388" rx="18" fill="none" stroke="#8fe0ff" stroke-width="3"/>',
          label(350, 34, "RESULTS", 28, "#fff4c0", INK, 4))
    # column headings, ending above the first row's letters (y 154)
    hy = 143 - sy
    # (the two small counts are centred over their last digits)
    for x, text, anchor in ((70, "#", "start"), (120, "NAME", "start"), (387, "FRAGS", "middle"),
                            (487, "ROUNDS WON", "middle"), (706, "SCORE", "end")):
        d.add(small(x - sx, hy, text, 14, "#8fe0ff", "bold", anchor))
    d.add('<line x1="14" y1="%s" x2="686" y2="%s" stroke="#8fe0ff" stroke-width="1.5" opacity="0.7"/>' % (f(hy + 4), f(hy + 4)))
    for i in range(6):
        if i % 2 == 0:
            d.add('<rect x="14" y="%s" width="672" height="28" rx="6" fill="#1f5684" opacity="0.8"/>' % f(150 + 30 * i - sy - 1))
    # the OK button, around the game's "OK" (letters at x 380..414, y 405..429)
    d.add('<rect x="%s" y="%s" width="66" height="42" rx="12" fill="%s" stroke="%s" stroke-width="2"/>'
          % (f(364 - sx), f(396 - sy), d.lin([(0, "#fffbe0"), (1, "#ffcf4a")]), INK))
    return d


def doc_status(word, icon):
    d = Doc(140, 60)
    status_parts(d, word, icon)
    return d


def status_parts(d, word, icon):
    d.add('<rect x="2" y="2" width="136" height="56" rx="14" fill="%s" stroke="#8fe0ff" stroke-width="2"/>' % d.lin([(0, "#123a66"), (1, "#06182e")]),
          label(88, 16, word, 15, "#fff4c0", INK, 3))
    if icon == "flag":
        d.add('<path d="M12 50 L12 10" stroke="%s" stroke-width="5" stroke-linecap="round"/><path d="M12 50 L12 10" stroke="#d8c8a0" stroke-width="2.5" stroke-linecap="round"/>' % INK,
              '<path d="M13 11 Q22 6 30 12 Q34 15 38 12 L37 29 Q30 33 24 28 Q18 24 13 28 Z" fill="#e8302a" stroke="%s" stroke-width="2" stroke-linejoin="round"/>' % INK)
    else:
        d.add('<g transform="translate(3 16) scale(1.9)">%s</g>' % bones(10, 8, 19, 15, 3, 1.1))


def doc_newname():
    d = Doc(548, 120)
    d.add(bubble(d, 20, 30, 8), bubble(d, 34, 14, 5), bubble(d, 520, 92, 7), bubble(d, 532, 70, 4))
    fill = d.lin([(0, "#fff6b0"), (0.5, "#ffc21a"), (1, "#ff6a00")])
    d.add(label(274, 96, "Marovane", 104, fill, INK, 8),
          label(274, 96, "Marovane", 104, "none", "#fffbe0", 1.2))
    return d


def doc_newlogo():
    d = Doc(180, 60)
    d.add('<rect x="2" y="6" width="176" height="48" rx="24" fill="%s" stroke="%s" stroke-width="2"/>' % (d.lin([(0, "#1d6f9c"), (1, "#0c3e66")]), INK))
    # a scallop shell mark
    sh = "M10 44 Q8 22 26 16 Q44 22 42 44 Z"
    d.add('<path d="%s" fill="#ffc8a8" stroke="%s" stroke-width="2"/>' % (sh, INK))
    for x in (16, 21, 26, 31, 36):
        d.add('<path d="M26 44 L%s 20" stroke="%s" stroke-width="1.2"/>' % (f(x + (x - 26) * 0.3), INK))
    d.add(label(110, 41, "Reefworks", 30, "#eafcff", INK, 3))
    return d


# ---------------------------------------------------------- program icon ----

def doc_icon():
    """The program's icon (menus, window, package): our fry in a round of sea.
    Not packed into an archive; dist/ renders it at the desktop's sizes."""
    d = Doc(256, 256)
    sea = d.lin([(0, "#3cc4e0"), (0.55, "#1479a8"), (1, "#0b3d6e")])
    d.add('<circle cx="128" cy="128" r="121" fill="%s" stroke="%s" stroke-width="6"/>' % (sea, INK))
    inside = d.clip('<circle cx="128" cy="128" r="118"/>')
    shafts = "".join('<path d="M%s 0 L%s 0 L%s 256 L%s 256 Z" fill="#ffffff"/>'
                     % (f(x), f(x + 22), f(x - 30), f(x - 64)) for x in (70, 140, 200))
    d.add('<g clip-path="%s"><g opacity="0.13">%s</g>' % (inside, shafts),
          '<path d="M0 214 Q64 196 128 208 T256 204 L256 256 L0 256 Z" fill="#e9c98a" stroke="%s" stroke-width="3"/>' % INK,
          '</g>')
    d.add(bubble(d, 206, 62, 13), bubble(d, 186, 34, 8), bubble(d, 62, 196, 7))
    k = KINDS[1]
    scale = 1.75
    ox, oy = 128 - k["W"] * scale / 2 - 8, 124 - k["H"] * scale / 2
    d.add('<g transform="translate(%s %s) scale(%s)">%s</g>' % (f(ox), f(oy), f(scale), fish_group(d, 1, 0)))
    return d


# ------------------------------------------------------------ help pages ----

def help_page(n):
    # Drawn at (19, 187), the panel's own left edge: the page keeps 14 pixels
    # clear on both sides (keyed) so the panel's rims stay in sight.
    d = Doc(762, 270)
    d.add('<rect x="14" y="1" width="734" height="268" rx="14" fill="%s" stroke="#2a7ab0" stroke-width="2"/>'
          % d.lin([(0, "#f4fbff"), (1, "#d6eef8")]))

    def fish(kind, x, y, scale, frame=0, left=False):
        k = KINDS[kind]
        g = fish_group(d, kind, frame)
        if left:
            return '<g transform="translate(%s %s) scale(%s %s)">%s</g>' % (f(x + k["W"] * scale), f(y), f(-scale), f(scale), g)
        return '<g transform="translate(%s %s) scale(%s)">%s</g>' % (f(x), f(y), f(scale), g)

    def heading(s):
        d.add(label(381, 40, s, 34, "#0c3e66", "#ffffff", 4))

    def lines(x, y, rows, size=17, gap=25):
        for i, r in enumerate(rows):
            d.add(small(x, y + i * gap, r, size, INK, "bold" if r.endswith(":") else "normal"))

    def key(x, y, s, w=34):
        d.add('<rect x="%s" y="%s" width="%s" height="34" rx="6" fill="#ffffff" stroke="%s" stroke-width="2"/>' % (f(x), f(y), f(w), INK),
              small(x + w / 2, y + 23, s, 16, INK, "bold", "middle"))

    if n == 1:
        heading("Steering")
        for (x, y, s) in ((78, 70, "\u2191"), (40, 108, "\u2190"), (78, 108, "\u2193"), (116, 108, "\u2192")):
            key(x, y, s)
        for (x, y, s) in ((78, 160, "W"), (40, 198, "A"), (78, 198, "S"), (116, 198, "D")):
            key(x, y, s)
        d.add('<rect x="190" y="110" width="40" height="62" rx="20" fill="#ffffff" stroke="%s" stroke-width="2"/>'
              '<line x1="210" y1="110" x2="210" y2="136" stroke="%s" stroke-width="2"/>' % (INK, INK))
        lines(250, 95, ["Arrow keys, W A S D or the mouse", "steer your fish.", "P pauses the game.",
                        "Esc asks whether to leave the game."])
        key(600, 150, "P")
        key(650, 150, "Esc", 50)
        d.add(fish(1, 560, 60, 0.7, 1))
    elif n == 2:
        heading("Eat or be eaten")
        d.add(fish(2, 40, 80, 0.8, 4), fish(1, 180, 95, 0.45, 1, True))
        d.add(fish(6, 430, 70, 0.55, 4, True), fish(2, 620, 85, 0.5, 2, True))
        lines(40, 200, ["Eat fish smaller than you.", "Bigger fish eat you: keep away from their mouths."])
        lines(430, 200, ["The same kind is only", "dangerous when it is bigger."])
    elif n == 3:
        heading("Growing and levels")
        for i in range(6):
            d.add('<g transform="translate(%s 80) scale(1.8)">%s</g>' % (f(40 + i * 42), bones(10, 10, 19, 15, 3, 1.1)))
        d.add('<path d="M310 98 L350 98 M340 88 L352 98 L340 108" fill="none" stroke="%s" stroke-width="4" stroke-linecap="round"/>' % INK)
        d.add(fish(1, 370, 80, 0.3, 0), fish(1, 440, 64, 0.5, 0), fish(1, 530, 44, 0.8, 0))
        lines(40, 190, ["Every sixth fish eaten makes you grow.", "After 18 fish the level is done and the next one starts,",
                        "with more and bigger fish."])
    elif n == 4:
        heading("Things that drift by")
        texts = [("Grow one step", "good"), ("Extra life", "good"), ("Freeze the fish", "good"),
                 ("50 points", "good"), ("Paralysis", "bad"), ("Lose 50 points", "bad")]
        for i, (s, kind) in enumerate(texts):
            x = 30 + (i % 3) * 245
            y = 70 + (i // 3) * 90
            d.add('<g transform="translate(%s %s) scale(1.25)">%s</g>' % (f(x), f(y), obj_frame(d, i + 1, 0, 0)))
            d.add(small(x + 72, y + 28, s, 18, INK, "bold"),
                  small(x + 72, y + 50, "good for you" if kind == "good" else "bad for you", 15, "#1c7a2a" if kind == "good" else "#b01818"))
    elif n == 5:
        heading("Lives")
        for i in range(3):
            d.add('<g transform="translate(%s 80) scale(1.5)">' % f(40 + i * 75))
            lifes_parts(d)
            d.add('</g>')
        d.add('<g transform="translate(480 120) scale(0.9)">%s</g>' % bones(120, 50, 230, 92, 7, 3.2))
        lines(40, 170, ["The little fish at the top are your spare lives.", "When you are caught with none left, the game is over.",
                        "A good score goes into the table of the ten best."])
    else:
        heading("Multiplayer")
        d.add(fish(8, 40, 70, 0.35, 4), fish(7, 200, 86, 0.3, 1), fish(5, 330, 75, 0.3, 2, True))
        d.add('<g transform="translate(500 60) scale(1.4)">')
        status_parts(d, "ROUND", "flag")
        d.add('</g>')
        lines(40, 170, ["Up to six players. Grow five times, then eat six more fish to win the round.",
                        "Eating another player scores a frag.",
                        "After the last round the board ranks everyone by frags."])
    return d


# ------------------------------------------------------------- manifest ----

SPRITE = "transparent=1 color=0xFF00FF"


def build():
    os.makedirs(OUT, exist_ok=True)
    files = {}
    m, g = [], []

    def put(name, doc):
        files[name] = doc.text()

    put("FonMenu", doc_fonmenu())
    m.append("picture FonMenu svg/FonMenu.svg transparent=0")
    for key, text, _y in MAIN_ITEMS:
        put("hl_" + key, doc_highlight(text))
        m.append("picture %s svg/hl_%s.svg %s" % (key, key, SPRITE))
    for i in (1, 2):
        put("FonGame%d" % i, doc_fongame(i))
        m.append("picture FonGame%d svg/FonGame%d.svg transparent=0" % (i, i))
    for name, fn in (("FonOpt", doc_fonopt), ("FonHScr", doc_fonhscr), ("FonHelp", doc_fonhelp),
                     ("FonMP", doc_fonmp), ("FonMP2", doc_fonmp2)):
        put(name, fn())
        m.append("picture %s svg/%s.svg %s" % (name, name, SPRITE))
    put("hl_HScrBack", doc_highlight("BACK", 200, 40, 28, LOW_BACK_H, LOW_BACK_SIZE))
    m.append("picture HScrBack svg/hl_HScrBack.svg %s" % SPRITE)
    for key, text in (("OptBack", "BACK"), ("Clear", "CLEAR"), ("World", "WORLD"),
                      ("Previos", "PREVIOUS"), ("Next", "NEXT"), ("HelpBack", "BACK"), ("BJoin", "JOIN"),
                      ("BCreate", "CREATE"), ("BUpdate", "REFRESH"), ("BDirect", "IP ADDRESS"), ("BStart", "START"),
                      ("BReady", "READY"), ("BRndCnt", "ROUNDS")):
        put("hl_" + key, doc_highlight(text, 200, 40, 28))
        m.append("picture %s svg/hl_%s.svg %s" % (key, key, SPRITE))
    for i in range(1, 7):
        put("Hlp%d" % i, help_page(i))
        m.append("picture Hlp%d svg/Hlp%d.svg %s" % (i, i, SPRITE))
    put("Qtns", doc_qtns())
    m.append("picture Qtns svg/Qtns.svg pattern=380x220 %s" % SPRITE)
    for name, fn in (("NewName", doc_newname), ("NewLogo", doc_newlogo)):
        put(name, fn())
        m.append("picture %s svg/%s.svg %s" % (name, name, SPRITE))
    put("Table", doc_table())
    m.append("picture Table svg/Table.svg transparent=0")
    put("Rounds", doc_status("ROUND", "flag"))
    put("Frags", doc_status("FRAGS", "bone"))
    m.append("picture Rounds svg/Rounds.svg %s" % SPRITE)
    m.append("picture Frags svg/Frags.svg %s" % SPRITE)

    for kind in range(1, 9):
        k = KINDS[kind]
        put("Fish%d" % kind, fish_strip(kind))
        for side, mirror in (("R", ""), ("L", " mirror=1")):
            g.append("picture %s%dFish svg/Fish%d.svg pattern=%dx%d %s%s" % (side, kind, kind, k["W"], k["H"], SPRITE, mirror))
    for kind in range(1, 7):
        put("Obj%d" % kind, objects(kind))
        g.append("picture Obj%d svg/Obj%d.svg pattern=48x48 %s" % (kind, kind, SPRITE))
    for name, fn in (("Puzir", doc_puzir), ("Puziri", doc_puziri), ("Skelet", doc_skelet), ("Sklt1", doc_sklt1),
                     ("Sklt2", doc_sklt2), ("Lifes", doc_lifes), ("MParalich", doc_mparalich), ("Paralich", doc_paralich)):
        put(name, fn())
        g.append("picture %s svg/%s.svg %s" % (name, name, SPRITE))
    weeds = {
        "Vodorosl1": (60, 165, [(17, 150, 16, 0.0), (32, 160, 18, 1.1), (46, 120, 14, 2.0)], ("#2f9a3a", "#9be85a", "#1d5e22")),
        "Vodorosl2": (70, 120, [(16, 100, 18, 0.4), (35, 115, 20, 1.5), (54, 90, 16, 2.6)], ("#a3402a", "#ff9a6a", "#6a2010")),
        "Vodorosl3": (80, 235, [(16, 200, 18, 0.2), (34, 228, 20, 1.2), (52, 180, 18, 2.3), (67, 140, 14, 3.0)], ("#1f7a5a", "#7ae0b0", "#0f4a34")),
    }
    for name, (w, h, blades, col) in weeds.items():
        put(name, seaweed(w, h, blades, 0, col))
        g.append("picture %s svg/%s.svg pattern=%dx%d %s" % (name, name, w, h, SPRITE))

    put("Icon", doc_icon())

    for name, text in files.items():
        with open(os.path.join(OUT, name + ".svg"), "w", encoding="utf-8") as fh:
            fh.write(text)
    spdx = "# SPDX-License-Identifier: CC-BY-SA-4.0\n"
    head = spdx + "# Written by generate.py: picture NAME SOURCE [options]\n"
    with open(os.path.join(HERE, "MData.manifest"), "w") as fh:
        fh.write(head + "\n".join(m) + "\n")
    with open(os.path.join(HERE, "GData.manifest"), "w") as fh:
        fh.write(head + "\n".join(g) + "\n")
    with open(os.path.join(HERE, "names.txt"), "w") as fh:
        fh.write(spdx + "".join("MData %s\n" % l.split()[1] for l in m) + "".join("GData %s\n" % l.split()[1] for l in g))
    # drop sources no longer written, so the build never packs a stale one
    for old in os.listdir(OUT):
        if old.endswith(".svg") and old[:-4] not in files:
            os.remove(os.path.join(OUT, old))


if __name__ == "__main__":
    build()
