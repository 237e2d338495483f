"""The wizard's artwork, drawn from primitives: the header banner (bitmap 106) and the
progress animation (icons 107 to 127).

The animation: an open blue carton (the installed application) sits at the left; a sheet of
paper lifts out of it, tumbles once through an arc to the right, lands and crumbles into
bits that drift up and fade. Icon 107 is the carton alone; icons 108 to 127 are the sheet
in each of its 20 frames, each drawn where the wizard places that frame's icon, so the
sheet's path on screen is smooth although the icons' own positions step unevenly.

    python3 artwork.py OUT_DIR [PREVIEW_DIR]

writes banner.bmp and anim_00.ico .. anim_20.ico to OUT_DIR and, given PREVIEW_DIR, the
PNG pieces that render.sh assembles into the contact sheet.
"""
import math
import os
import sys

import draw
from draw import Canvas, Xf, IDENTITY, translate, scale, rotate, rect, rrect, poly, ellipse

# One palette for every image; light falls from the upper left.
NAVY = (27, 42, 74)           # outlines
BLUE_DEEP = (30, 74, 140)     # carton's shaded side
BLUE = (44, 110, 196)         # carton's front
BLUE_LIGHT = (104, 163, 230)  # lit flaps and highlights
BLUE_PALE = (205, 225, 246)   # banner decoration
INSIDE_BACK = (40, 70, 118)
INSIDE_FRONT = (14, 28, 56)
PAPER = (255, 255, 255)
PAPER_SHADE = (220, 229, 241)
RULE = (137, 163, 200)        # text lines on the sheet
RULE_HEAD = (44, 110, 196)
AMBER = (246, 170, 40)
AMBER_DEEP = (205, 122, 18)

# Where the wizard draws each frame's icon, in pixels at the usual dialog base units
# (the base icon sits at (0, 20), the same place as frame 1).
FRAME_ORIGINS = [
    (0, 20), (10, 16), (16, 12), (28, 10), (38, 4), (52, 4), (60, 4), (76, 4), (84, 4), (100, 0),
    (114, 0), (124, 0), (144, 0), (156, 4), (174, 6), (188, 8), (204, 16), (220, 20), (228, 22), (236, 26),
]
BASE_ORIGIN = (0, 20)

SHEET_W, SHEET_H = 14.0, 18.0
RIM_Y = 17.5        # the carton's front rim, in icon coordinates
GROUND_Y = 29.5     # the carton's bottom edge


def soft_ellipse(cx, cy, rx, ry, colour, strength):
    """A shadow-like paint: strongest at the centre, gone at the ellipse's edge."""
    r, g, b = (v / 255.0 for v in colour)

    def paint(x, y):
        d = ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2
        return (r, g, b, max(0.0, 1.0 - d) * strength)

    return paint


# ----------------------------------------------------------------------------- the carton


def carton(cv, xf=IDENTITY, lw=1.0, papers=True, shadow=True):
    """The open carton in a 32 x 32 box of user space."""
    if shadow:
        sx, sy = xf(16.0, 29.6)
        k = xf.scale()
        cv.fill(ellipse(16.0, 29.6, 15.0, 2.6), soft_ellipse(sx, sy, 15.0 * k, 2.6 * k, NAVY, 0.45), xf)

    back_flap = [(9.5, 13.5), (28.5, 13.5), (30.5, 7.5), (12.5, 7.5)]
    left_flap = [(3.5, 17.5), (9.5, 13.5), (5.5, 10.5), (0.5, 13.5)]
    opening = [(3.5, 17.5), (9.5, 13.5), (28.5, 13.5), (22.5, 17.5)]
    front = [(3.5, 17.5), (22.5, 17.5), (22.5, 29.5), (3.5, 29.5)]
    side = [(22.5, 17.5), (28.5, 13.5), (28.5, 25.5), (22.5, 29.5)]

    cv.fill([back_flap], draw.linear((12, 7), (28, 14), [(0, (150, 192, 238)), (1, (86, 140, 206))], xf), xf)
    cv.line(back_flap, lw, NAVY, xf, closed=True)

    cv.fill([opening], draw.linear((0, 13.5), (0, 17.5), [(0, INSIDE_BACK), (1, INSIDE_FRONT)], xf), xf)
    if papers:
        # The tops of the sheets still inside: only what shows above the front rim.
        above_rim = cv.mask(rect(-10, -10, 60, RIM_Y + 10), xf)
        for x0, top, w in ((8.5, 9.5, 9.0), (14.5, 11.5, 8.0)):
            sheet = rect(x0, top, w, 10)
            cv.fill(sheet, draw.linear((x0, top), (x0, top + 5), [(0, PAPER), (1, PAPER_SHADE)], xf), xf,
                    clip=above_rim)
            cv.line(sheet[0], lw, NAVY, xf, closed=True, clip=above_rim)
    cv.line(opening, lw, NAVY, xf, closed=True)

    cv.fill([left_flap], draw.linear((1, 11), (9, 17), [(0, (168, 204, 242)), (1, BLUE_LIGHT)], xf), xf)
    cv.line(left_flap, lw, NAVY, xf, closed=True)

    cv.fill([side], draw.linear((22, 16), (29, 26), [(0, (40, 96, 172)), (1, BLUE_DEEP)], xf), xf)
    cv.fill([front], draw.linear((3, 17), (23, 30), [(0, (78, 142, 220)), (1, BLUE)], xf), xf)
    # A lit strip under the rim and down the left edge, as the light comes from there.
    cv.line([(4.5, 28.5), (4.5, 18.5), (21.5, 18.5)], lw, (130, 182, 238), xf, caps=False)

    # The application's label: a little window on a white card.
    card = rrect(6.5, 20.5, 10, 7, 1.0 * lw)
    cv.fill(card, PAPER, xf)
    cv.line(card[0], lw, NAVY, xf, closed=True)
    cv.fill(rect(8.5, 22.5, 6, 3), (235, 242, 251), xf)
    cv.line([(8.5, 22.5), (14.5, 22.5)], lw * 1.0, BLUE, xf, caps=False)
    cv.fill(rect(13, 22, 1, 1), AMBER, xf)

    cv.line(side, lw, NAVY, xf, closed=True)
    cv.line(front, lw, NAVY, xf, closed=True)


# ----------------------------------------------------------------------------- the sheet


def sheet(cv, xf=IDENTITY, lw=1.0, clip=None, opacity=1.0, rules=True):
    """A sheet of paper with a folded corner, centred on (0, 0) of user space."""
    w, h = SHEET_W / 2, SHEET_H / 2
    fold = 5.0
    body = [(-w, -h), (w - fold, -h), (w, -h + fold), (w, h), (-w, h)]
    cv.fill([body], draw.linear((-w, -h), (w, h), [(0, PAPER), (0.55, (246, 249, 253)), (1, PAPER_SHADE)], xf),
            xf, clip=clip, opacity=opacity)
    if rules:
        cv.line([(-w + 2.5, -3.0), (0.5, -3.0)], lw * 1.0, RULE_HEAD, xf, caps=False, clip=clip, opacity=opacity)
        for y, x1 in ((0.0, w - 2.5), (2.0, w - 2.5), (4.0, w - 2.5), (6.0, 0.5)):
            cv.line([(-w + 2.5, y), (x1, y)], lw * 1.0, RULE, xf, caps=False, clip=clip, opacity=opacity)
    corner = [(w - fold, -h), (w - fold, -h + fold), (w, -h + fold)]
    cv.fill([corner], draw.linear((w - fold, -h), (w, -h + fold), [(0, (236, 242, 250)), (1, (190, 206, 228))], xf),
            xf, clip=clip, opacity=opacity)
    cv.line(corner, lw, NAVY, xf, closed=True, clip=clip, opacity=opacity)
    cv.line(body, lw, NAVY, xf, closed=True, clip=clip, opacity=opacity)


# ----------------------------------------------------------------------------- the flight


def _extent(deg):
    """Half width and half height of the sheet turned by deg."""
    r = math.radians(deg)
    c, s = abs(math.cos(r)), abs(math.sin(r))
    # Half a pixel more for the outline, which straddles the edge.
    return (SHEET_W / 2 * c + SHEET_H / 2 * s + 0.5, SHEET_W / 2 * s + SHEET_H / 2 * c + 0.5)


def flight():
    """The sheet's pose in each frame: (centre x, centre y in icon space, turn in degrees,
    crumble 0..1). Centres are chosen on screen along a smooth arc, then pulled into their
    frame's icon where the arc would leave it."""
    n = len(FRAME_ORIGINS)
    turn = [0.0, 0.0, 12.0, 28.0]
    turn += [28.0 + (360.0 - 28.0) * i / 12 for i in range(1, 13)]  # frames 5..16
    turn += [360.0] * (n - len(turn))
    turn = [t % 360.0 for t in turn]

    # Each frame's icon bounds where the sheet's centre may be on screen.
    lo_x, hi_x, lo_y, hi_y = [], [], [], []
    for (ox, oy), t in zip(FRAME_ORIGINS, turn):
        ex, ey = _extent(t)
        lo_x.append(ox + ex)
        hi_x.append(ox + 32 - ex)
        lo_y.append(oy + ey)
        hi_y.append(oy + 32 - ey)

    # The lift starts in the carton; from frame 18 on, what is left stays where it landed.
    ground = BASE_ORIGIN[1] + GROUND_Y
    start = (15.5, BASE_ORIGIN[1] + 10.5)
    landing = (244.5, ground - SHEET_H / 2 - 0.5)
    fixed = {0: start}
    fixed.update({k: landing for k in range(17, n)})

    # Across, as straight and even as the icons allow (a string pulled taut between them);
    # down, a ballistic arc bent only as far as the icons demand.
    arc = []
    for k in range(n):
        u = k / 17.0
        arc.append(start[1] + (landing[1] - start[1]) * u - 4 * 21.0 * u * (1 - u))
    xs = _relax([start[0] + (landing[0] - start[0]) * min(k, 17) / 17.0 for k in range(n)], lo_x, hi_x,
                {k: v[0] for k, v in fixed.items()}, 0.0)
    ys = _relax(arc, lo_y, hi_y, {k: v[1] for k, v in fixed.items()}, 0.5)

    poses = []
    for k, ((ox, oy), x, y, t) in enumerate(zip(FRAME_ORIGINS, xs, ys, turn)):
        lx, ly = x - ox, y - oy
        amount = {17: 0.4, 18: 0.75, 19: 1.1}.get(k, 0.0)
        if t == 0.0:
            # Upright sheets sit on the half-pixel grid so their outlines stay one pixel wide.
            lx = _snap(lx, lo_x[k] - ox, hi_x[k] - ox)
            ly = _snap(ly, lo_y[k] - oy, hi_y[k] - oy)
        poses.append((lx, ly, t, amount))
    return poses


def _relax(target, lo, hi, fixed, pull):
    """Values kept within [lo, hi] that bend as little as they can: smoothed towards their
    neighbours and, with weight pull, towards target."""
    v = [min(max(t, a), b) for t, a, b in zip(target, lo, hi)]
    for k, f in fixed.items():
        v[k] = f
    for _ in range(3000):
        for k in range(1, len(v) - 1):
            if k in fixed:
                continue
            want = (v[k - 1] + v[k + 1] + pull * target[k]) / (2.0 + pull)
            v[k] = min(max(want, lo[k]), hi[k])
    return v


def _snap(v, lo, hi):
    """The nearest half-pixel position within [lo, hi] (or v itself if there is none)."""
    base = math.floor(v) + 0.5
    for c in sorted((base, base - 1, base + 1), key=lambda c: abs(c - v)):
        if lo - 1e-9 <= c <= hi + 1e-9:
            return c
    return v


def _rand(seed):
    """A small deterministic generator, so the crumbling is the same on every render."""
    state = [seed * 2654435761 % 4294967296 or 1]

    def nxt():
        state[0] = (1103515245 * state[0] + 12345) % 2147483648
        return state[0] / 2147483648.0

    return nxt


def crumble(cv, cx, cy, amount, lw=1.0, k=1.0):
    """The sheet centred on (cx, cy) falling apart: square bits of it, a few pixels each,
    break away from the top down, rise and drift on, turn blue, shrink and fade. Bits move
    by whole pixels and keep the sheet's own pixels, so they stay crisp."""
    whole = Canvas(cv.w, cv.h)
    sheet(whole, translate(cx * k, cy * k) @ scale(k), lw)
    x0 = int(math.floor((cx - SHEET_W / 2 - 1) * k))
    y0 = int(math.floor((cy - SHEET_H / 2 - 1) * k))
    x1 = int(math.ceil((cx + SHEET_W / 2 + 1) * k))
    y1 = int(math.ceil((cy + SHEET_H / 2 + 1) * k))
    step = max(2, int(round(3 * k)))
    rnd = _rand(7)
    rows = list(range(y0, y1, step))
    tint = draw.rgba(draw.mix(BLUE_LIGHT, BLUE, 0.35))
    for j, ty in enumerate(rows):
        for tx in range(x0, x1, step):
            # Higher bits go first; a random share keeps the front ragged.
            order = 0.7 * (j / max(1, len(rows) - 1)) + 0.3 * rnd()
            drift = rnd()
            cells = [(x, y) for y in range(ty, min(ty + step, y1)) for x in range(tx, min(tx + step, x1))
                     if 0 <= x < cv.w and 0 <= y < cv.h]
            tone = [whole.pixel(x, y) for x, y in cells]
            if sum(p[3] for p in tone) <= 0.1 * len(cells):
                continue
            start = order * 0.8
            if amount <= start:
                dx = dy = 0
                keep = cells
                fade, blue = 1.0, 0.0
            else:
                age = (amount - start) / 0.55
                if age >= 1.0:
                    continue
                dx = int(round((1.0 + 4.0 * drift) * age * k * 1.5))
                dy = -int(round((2.0 + 6.0 * (1 - drift)) * age * k * 1.2))
                # Shrink from the bit's far corner, so it seems to wear away as it goes.
                side = step if age < 0.35 else (max(1, step - 1) if age < 0.7 else 1)
                keep = [(x, y) for x, y in cells if x - tx < side and y - ty < side]
                fade = min(1.0, 1.7 * (1.0 - age))
                blue = min(0.85, 0.2 + 0.8 * age)
            for (x, y), p in zip(cells, tone):
                if (x, y) not in keep or p[3] <= 0.0:
                    continue
                a = p[3]
                col = [p[i] / a * (1 - blue) + tint[i] * blue for i in range(3)]
                a *= fade
                cur = cv.pixel(x + dx, y + dy) if 0 <= x + dx < cv.w and 0 <= y + dy < cv.h else None
                if cur is None:
                    continue
                cv.put(x + dx, y + dy, [col[i] * a + cur[i] * (1 - a) for i in range(3)] + [a + cur[3] * (1 - a)])


def sparkle(cv, cx, cy, r, colour, xf=IDENTITY, opacity=1.0):
    """A four-pointed glint."""
    pts = []
    for i in range(8):
        a = math.radians(i * 45 - 90)
        rr = r if i % 2 == 0 else r * 0.28
        pts.append((cx + rr * math.cos(a), cy + rr * math.sin(a)))
    cv.fill([pts], colour, xf, opacity=opacity)


def speed_lines(cv, cx, cy, vx, vy, lw=1.0, xf=IDENTITY):
    """Two short strokes trailing the sheet, opposite to its travel."""
    ln = math.hypot(vx, vy) or 1.0
    ux, uy = vx / ln, vy / ln
    nx, ny = -uy, ux
    for off, start, length in ((-3.5, 11.0, 4.5), (3.0, 12.0, 3.5)):
        ax = cx - ux * start + nx * off
        ay = cy - uy * start + ny * off
        bx = ax - ux * length
        by = ay - uy * length
        cv.line([(ax, ay), (bx, by)], lw * 1.2, BLUE_LIGHT, xf, opacity=0.9)


# ----------------------------------------------------------------------------- icons


def icon(frame, size=32):
    """Frame 0 is the carton; frames 1..20 the sheet."""
    k = size / 32.0
    lw = 1.0 / k if size < 32 else 1.0
    cv = Canvas(size, size)
    xf = scale(k)
    if frame == 0:
        carton(cv, xf, lw, papers=True)
        return cv
    poses = flight()
    lx, ly, turn, amount = poses[frame - 1]
    if frame == 1:
        above_rim = cv.mask(rect(-1, -1, 34, RIM_Y + 1), xf)
        sheet(cv, xf @ translate(lx, ly), lw, clip=above_rim, rules=size >= 32)
        return cv
    if amount > 0.0:
        crumble(cv, lx, ly, amount, lw, k)
        if frame >= 19:
            sparkle(cv, lx + 3, ly - 6 + (frame - 19) * 3, 3.5 if frame == 19 else 4.5, AMBER, xf,
                    opacity=1.0 if frame == 19 else 0.85)
        return cv
    if 4 <= frame <= 16:
        (ox0, oy0), (ox1, oy1) = FRAME_ORIGINS[frame - 2], FRAME_ORIGINS[frame - 1]
        p0, p1 = poses[frame - 2], poses[frame - 1]
        vx = (ox1 + p1[0]) - (ox0 + p0[0])
        vy = (oy1 + p1[1]) - (oy0 + p0[1])
        speed_lines(cv, lx, ly, vx, vy, lw, xf)
    sheet(cv, xf @ translate(lx, ly) @ rotate(turn), lw, rules=size >= 32)
    return cv


# ----------------------------------------------------------------------------- banner

BANNER_W, BANNER_H = 500, 63


def banner():
    cv = Canvas(BANNER_W, BANNER_H, (255, 255, 255))
    # Calm white where the title goes, warming into pale blue towards the picture.
    cv.fill(rect(0, 0, BANNER_W, BANNER_H),
            draw.linear((250, 0), (500, 0), [(0, (255, 255, 255, 0)), (1, (232, 241, 252))]))
    cv.fill(ellipse(470, 70, 190, 190, 96), draw.radial((470, 70), 190, [(0, (206, 226, 249)), (0.6, (220, 235, 251, 200)),
                                                                         (1, (232, 241, 252, 0))]))

    s = 1.5
    cx0, cy0 = 318, 12.5
    box = translate(cx0, cy0) @ scale(s)
    lw = 1.0 / s * 1.15

    # The sheet's path: a dotted arc from the carton to where it crumbles.
    path = draw.cubic((cx0 + 17 * s, cy0 + 8 * s), (386, -6), (450, -2), (474, 34), 40)
    for i, (x, y) in enumerate(path[2:-3]):
        if i % 3 == 0:
            cv.fill(ellipse(x, y, 1.1, 1.1, 12), BLUE_LIGHT, opacity=0.9)

    carton(cv, box, lw, papers=True)
    above_rim = cv.mask(rect(-10, -10, 60, RIM_Y + 10), box)
    sheet(cv, box @ translate(16.5, 8.5), lw, clip=above_rim)

    fly = translate(420, 17) @ scale(1.25) @ rotate(35)
    sheet(cv, fly, 1.0 / 1.25 * 1.1)
    crumble(cv, 476 / 1.25, 40 / 1.25, 0.62, lw=1.0 / 1.25 * 1.1, k=1.25)
    sparkle(cv, 488.5, 20.5, 5.5, AMBER)
    sparkle(cv, 466.5, 12.5, 3.0, AMBER, opacity=0.8)
    return cv


# ----------------------------------------------------------------------------- output


def previews(out, sheet_dir):
    """PNG pieces for the contact sheet."""
    os.makedirs(sheet_dir, exist_ok=True)
    b = banner()
    px = b.rgba8()
    band = draw.resize_nearest(px, BANNER_W, BANNER_H, 475, 63)
    write(os.path.join(sheet_dir, "band.png"), draw.png(475, 63, band))

    icons = [icon(i).rgba8() for i in range(21)]
    for face, name in (((212, 208, 200), "area_classic.png"), ((240, 240, 240), "area_modern.png")):
        area = Canvas(470, 60, face)
        stamp(area, icons[0], BASE_ORIGIN)
        for i in range(1, 21):
            stamp(area, icons[i], FRAME_ORIGINS[i - 1])
        write(os.path.join(sheet_dir, name), draw.png(470, 60, area.rgba8()))

    # Every frame as the wizard shows it: the carton plus that frame's sheet.
    cell_w = 300
    film = Canvas(cell_w * 4, 60 * 5, (212, 208, 200))
    for i in range(20):
        c = Canvas(cell_w, 60, (212, 208, 200))
        stamp(c, icons[0], BASE_ORIGIN)
        stamp(c, icons[i + 1], FRAME_ORIGINS[i])
        film.blit(c, (i % 4) * cell_w, (i // 4) * 60)
    for i in range(1, 4):
        film.fill(rect(i * cell_w - 1, 0, 1, 300), (160, 156, 150))
    for j in range(1, 5):
        film.fill(rect(0, j * 60 - 1, cell_w * 4, 1), (160, 156, 150))
    write(os.path.join(sheet_dir, "film.png"), draw.png(film.w, film.h, film.rgba8()))

    for zoom, per_row, name in ((1, 21, "strip.png"), (3, 11, "strip3.png")):
        cw = 32 * zoom + 8
        rows = (21 + per_row - 1) // per_row
        strip = Canvas(cw * per_row, cw * rows, (212, 208, 200))
        for i, px in enumerate(icons):
            big = [px[(y // zoom) * 32 + (x // zoom)] for y in range(32 * zoom) for x in range(32 * zoom)]
            stamp(strip, big, ((i % per_row) * cw + 4, (i // per_row) * cw + 4), 32 * zoom)
        write(os.path.join(sheet_dir, name), draw.png(strip.w, strip.h, strip.rgba8()))

    small = Canvas(20 * 21, 20, (212, 208, 200))
    for i in range(21):
        stamp(small, icon(i, 16).rgba8(), (i * 20 + 2, 2), 16)
    write(os.path.join(sheet_dir, "strip16.png"), draw.png(small.w, small.h, small.rgba8()))


def stamp(cv, pixels, at, size=32):
    layer = Canvas(size, size)
    for i, (r, g, b, a) in enumerate(pixels):
        f = a / 255.0
        layer.px[i * 4:i * 4 + 4] = [r / 255.0 * f, g / 255.0 * f, b / 255.0 * f, f]
    cv.blit(layer, at[0], at[1])


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def main(argv):
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    b = banner()
    write(os.path.join(out, "banner.bmp"), draw.bmp24(BANNER_W, BANNER_H, draw.flatten(b.rgba8(), (255, 255, 255))))
    for i in range(21):
        write(os.path.join(out, "anim_%02d.ico" % i), draw.ico([(32, icon(i).rgba8()), (16, icon(i, 16).rgba8())]))
    if len(argv) > 2:
        previews(out, argv[2])


if __name__ == "__main__":
    main(sys.argv)
