"""A small anti-aliased vector rasteriser and the image-file writers the wizard artwork needs.

Plain python3 with no modules beyond the standard library, so that re-rendering the artwork
needs nothing that a fresh Debian machine lacks, and so that the output is the same bytes
every time (no renderer version can shift a pixel).

Coordinates are in pixels with y down; pixel (x, y) covers [x, x+1) x [y, y+1), so a 1 px
line along x = 4.5 fills column 4 exactly. Colours are (r, g, b) or (r, g, b, a) in 0..255.
"""
import math
import struct
import zlib

SUBSAMPLES = 16  # scanlines per pixel row; horizontal coverage is exact


# ----------------------------------------------------------------------------- transforms


class Xf:
    """Affine transform: x' = a x + c y + e, y' = b x + d y + f."""

    __slots__ = ("a", "b", "c", "d", "e", "f")

    def __init__(self, a=1.0, b=0.0, c=0.0, d=1.0, e=0.0, f=0.0):
        self.a, self.b, self.c, self.d, self.e, self.f = a, b, c, d, e, f

    def __matmul__(self, o):
        # (self @ o)(p) == self(o(p)): the right-hand transform acts first.
        return Xf(
            self.a * o.a + self.c * o.b,
            self.b * o.a + self.d * o.b,
            self.a * o.c + self.c * o.d,
            self.b * o.c + self.d * o.d,
            self.a * o.e + self.c * o.f + self.e,
            self.b * o.e + self.d * o.f + self.f,
        )

    def __call__(self, x, y):
        return (self.a * x + self.c * y + self.e, self.b * x + self.d * y + self.f)

    def scale(self):
        return math.sqrt(abs(self.a * self.d - self.b * self.c))


IDENTITY = Xf()


def translate(x, y):
    return Xf(e=x, f=y)


def scale(sx, sy=None):
    return Xf(a=sx, d=sx if sy is None else sy)


def rotate(deg, cx=0.0, cy=0.0):
    r = math.radians(deg)
    co, si = math.cos(r), math.sin(r)
    return translate(cx, cy) @ Xf(co, si, -si, co) @ translate(-cx, -cy)


# ----------------------------------------------------------------------------- paths
# A path is a list of closed polygons, each a list of (x, y).


def rect(x, y, w, h):
    return [[(x, y), (x + w, y), (x + w, y + h), (x, y + h)]]


def arc_points(cx, cy, rx, ry, a0, a1, n):
    return [
        (cx + rx * math.cos(math.radians(a0 + (a1 - a0) * i / n)),
         cy + ry * math.sin(math.radians(a0 + (a1 - a0) * i / n)))
        for i in range(n + 1)
    ]


def rrect(x, y, w, h, r, n=6):
    if r <= 0:
        return rect(x, y, w, h)
    r = min(r, w / 2, h / 2)
    pts = []
    pts += arc_points(x + w - r, y + r, r, r, -90, 0, n)
    pts += arc_points(x + w - r, y + h - r, r, r, 0, 90, n)
    pts += arc_points(x + r, y + h - r, r, r, 90, 180, n)
    pts += arc_points(x + r, y + r, r, r, 180, 270, n)
    return [pts]


def ellipse(cx, cy, rx, ry, n=48):
    return [arc_points(cx, cy, rx, ry, 0, 360, n)[:-1]]


def poly(*pts):
    return [list(pts)]


def cubic(p0, p1, p2, p3, n=24):
    out = []
    for i in range(n + 1):
        t = i / n
        u = 1 - t
        out.append((
            u * u * u * p0[0] + 3 * u * u * t * p1[0] + 3 * u * t * t * p2[0] + t * t * t * p3[0],
            u * u * u * p0[1] + 3 * u * u * t * p1[1] + 3 * u * t * t * p2[1] + t * t * t * p3[1],
        ))
    return out


def transform(path, xf):
    return [[xf(x, y) for (x, y) in p] for p in path]


def signed_area(p):
    s = 0.0
    for i in range(len(p)):
        x0, y0 = p[i]
        x1, y1 = p[(i + 1) % len(p)]
        s += x0 * y1 - x1 * y0
    return s / 2


def _positive(p):
    return p if signed_area(p) >= 0 else p[::-1]


def stroke(points, width, closed=False, caps=True, joins=True):
    """Outline of a polyline as a union of quads and discs: fill it with the nonzero rule.

    Every piece is turned the same way round so that overlaps add up instead of cancelling.
    """
    r = width / 2
    pts = list(points) + ([points[0]] if closed else [])
    out = []
    seg = max(8, int(math.ceil(r * 2 * math.pi / 0.35)))
    for (x0, y0), (x1, y1) in zip(pts, pts[1:]):
        dx, dy = x1 - x0, y1 - y0
        ln = math.hypot(dx, dy)
        if ln == 0:
            continue
        nx, ny = -dy / ln * r, dx / ln * r
        out.append(_positive([(x0 + nx, y0 + ny), (x1 + nx, y1 + ny), (x1 - nx, y1 - ny), (x0 - nx, y0 - ny)]))
    discs = []
    if joins:
        discs += pts[1:-1] if not closed else pts[:-1]
    if caps and not closed and pts:
        discs += [pts[0], pts[-1]]
    for (x, y) in discs:
        out.append(_positive(ellipse(x, y, r, r, seg)[0]))
    return out


def inset(polygon, d):
    """The convex polygon moved inwards by d on every side (mitred corners)."""
    p = _positive(polygon)
    n = len(p)
    lines = []
    for i in range(n):
        x0, y0 = p[i]
        x1, y1 = p[(i + 1) % n]
        ln = math.hypot(x1 - x0, y1 - y0)
        # For a counter-clockwise polygon in y-down space the inside lies to the right.
        nx, ny = -(y1 - y0) / ln, (x1 - x0) / ln
        lines.append(((x0 + nx * d, y0 + ny * d), (x1 - x0, y1 - y0)))
    out = []
    for i in range(n):
        (px, py), (dx, dy) = lines[i - 1]
        (qx, qy), (ex, ey) = lines[i]
        den = dx * ey - dy * ex
        if abs(den) < 1e-12:
            out.append((qx, qy))
            continue
        t = ((qx - px) * ey - (qy - py) * ex) / den
        out.append((px + dx * t, py + dy * t))
    return out


# ----------------------------------------------------------------------------- coverage


def coverage(path, w, h, rule="nonzero", ss=SUBSAMPLES):
    """Per-pixel area coverage of a path clipped to a w x h canvas.

    Returns (x0, y0, rows) with rows[j][i] the coverage of pixel (x0 + i, y0 + j), or None.
    Each pixel row is sampled on ss scanlines; along a scanline the covered length is exact.
    """
    edges = []
    xs = []
    for p in path:
        n = len(p)
        for i in range(n):
            x0, y0 = p[i]
            x1, y1 = p[(i + 1) % n]
            xs.append(x0)
            if y0 == y1:
                continue
            d = 1
            if y0 > y1:
                x0, y0, x1, y1, d = x1, y1, x0, y0, -1
            edges.append((y0, y1, x0, (x1 - x0) / (y1 - y0), d))
    if not edges:
        return None
    ylo = max(0, int(math.floor(min(e[0] for e in edges))))
    yhi = min(h, int(math.ceil(max(e[1] for e in edges))))
    xlo = max(0, int(math.floor(min(xs))))
    xhi = min(w, int(math.ceil(max(xs))))
    if ylo >= yhi or xlo >= xhi:
        return None
    width = xhi - xlo
    wgt = 1.0 / ss
    evenodd = rule == "evenodd"
    rows = []
    for y in range(ylo, yhi):
        live = [e for e in edges if e[0] < y + 1 and e[1] > y]
        acc = [0.0] * (width + 1)
        diff = [0.0] * (width + 2)
        for s in range(ss):
            ys = y + (s + 0.5) * wgt
            cross = sorted((x0 + (ys - y0) * k, d) for (y0, y1, x0, k, d) in live if y0 <= ys < y1)
            wind = 0
            prev = 0.0
            for x, d in cross:
                inside = (wind & 1) if evenodd else wind != 0
                if inside:
                    a = min(max(prev - xlo, 0.0), width)
                    b = min(max(x - xlo, 0.0), width)
                    if b > a:
                        ia, ib = int(a), int(b)
                        if ia == ib:
                            acc[ia] += (b - a) * wgt
                        else:
                            acc[ia] += (ia + 1 - a) * wgt
                            diff[ia + 1] += wgt
                            diff[ib] -= wgt
                            acc[ib] += (b - ib) * wgt
                wind += d
                prev = x
        row = []
        run = 0.0
        for i in range(width):
            run += diff[i]
            row.append(min(1.0, acc[i] + run))
        rows.append(row)
    return xlo, ylo, rows


# ----------------------------------------------------------------------------- paint


def rgba(c):
    """A colour as floats in 0..1 with straight alpha."""
    if isinstance(c, str):
        c = c.lstrip("#")
        c = tuple(int(c[i:i + 2], 16) for i in range(0, len(c), 2))
    if len(c) == 3:
        c = (c[0], c[1], c[2], 255)
    return tuple(v / 255.0 for v in c)


def mix(c0, c1, t):
    a, b = rgba(c0), rgba(c1)
    return tuple(int(round(255 * (a[i] + (b[i] - a[i]) * t))) for i in range(4))


def _ramp(stops):
    stops = [(t, rgba(c)) for t, c in stops]

    def at(t):
        if t <= stops[0][0]:
            return stops[0][1]
        for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
            if t <= t1:
                u = (t - t0) / (t1 - t0) if t1 > t0 else 1.0
                return tuple(c0[i] + (c1[i] - c0[i]) * u for i in range(4))
        return stops[-1][1]

    return at


def solid(c):
    v = rgba(c)
    return lambda x, y: v


def linear(p0, p1, stops, xf=IDENTITY):
    """Colour ramp from p0 to p1 (in the coordinates that xf maps to the canvas)."""
    (x0, y0), (x1, y1) = xf(*p0), xf(*p1)
    dx, dy = x1 - x0, y1 - y0
    ll = dx * dx + dy * dy or 1.0
    at = _ramp(stops)
    return lambda x, y: at(((x - x0) * dx + (y - y0) * dy) / ll)


def radial(c, r, stops, xf=IDENTITY):
    cx, cy = xf(*c)
    rr = r * xf.scale()
    at = _ramp(stops)
    return lambda x, y: at(math.hypot(x - cx, y - cy) / rr)


def _paint(p):
    return p if callable(p) else solid(p)


# ----------------------------------------------------------------------------- canvas


class Canvas:
    """Premultiplied RGBA floats, composited with source-over."""

    def __init__(self, w, h, bg=None):
        self.w, self.h = w, h
        if bg is None:
            self.px = [0.0] * (w * h * 4)
        else:
            r, g, b, a = rgba(bg)
            self.px = [r * a, g * a, b * a, a] * (w * h)

    def mask(self, path, xf=IDENTITY, rule="nonzero"):
        m = [0.0] * (self.w * self.h)
        cov = coverage(transform(path, xf), self.w, self.h, rule)
        if cov:
            x0, y0, rows = cov
            for j, row in enumerate(rows):
                base = (y0 + j) * self.w + x0
                m[base:base + len(row)] = row
        return m

    def fill(self, path, paint, xf=IDENTITY, opacity=1.0, rule="nonzero", clip=None):
        cov = coverage(transform(path, xf), self.w, self.h, rule)
        if not cov:
            return
        paint = _paint(paint)
        x0, y0, rows = cov
        px = self.px
        w = self.w
        for j, row in enumerate(rows):
            y = y0 + j
            for i, c in enumerate(row):
                if c <= 0.0:
                    continue
                x = x0 + i
                if clip is not None:
                    c *= clip[y * w + x]
                    if c <= 0.0:
                        continue
                r, g, b, a = paint(x + 0.5, y + 0.5)
                a *= c * opacity
                if a <= 0.0:
                    continue
                k = (y * w + x) * 4
                ia = 1.0 - a
                px[k] = r * a + px[k] * ia
                px[k + 1] = g * a + px[k + 1] * ia
                px[k + 2] = b * a + px[k + 2] * ia
                px[k + 3] = a + px[k + 3] * ia

    def line(self, points, width, paint, xf=IDENTITY, closed=False, caps=True, opacity=1.0, clip=None):
        self.fill(stroke([xf(x, y) for x, y in points], width * xf.scale(), closed, caps), paint,
                  opacity=opacity, clip=clip)

    def pixel(self, x, y):
        k = (y * self.w + x) * 4
        return tuple(self.px[k:k + 4])

    def put(self, x, y, premult):
        if 0 <= x < self.w and 0 <= y < self.h:
            k = (y * self.w + x) * 4
            self.px[k:k + 4] = list(premult)

    def blit(self, src, dx=0, dy=0, opacity=1.0):
        """Composite another canvas over this one at a whole-pixel offset."""
        for y in range(src.h):
            ty = y + dy
            if not 0 <= ty < self.h:
                continue
            for x in range(src.w):
                tx = x + dx
                if not 0 <= tx < self.w:
                    continue
                k = (y * src.w + x) * 4
                a = src.px[k + 3] * opacity
                if a <= 0.0:
                    continue
                t = (ty * self.w + tx) * 4
                ia = 1.0 - a
                for i in range(3):
                    self.px[t + i] = src.px[k + i] * opacity + self.px[t + i] * ia
                self.px[t + 3] = a + self.px[t + 3] * ia

    def rgba8(self):
        """Straight-alpha 8-bit pixels, row by row from the top."""
        out = []
        px = self.px
        for k in range(0, len(px), 4):
            a = px[k + 3]
            if a <= 0.0:
                out.append((0, 0, 0, 0))
                continue
            a8 = int(a * 255 + 0.5)
            if a8 == 0:
                out.append((0, 0, 0, 0))
                continue
            out.append(tuple(min(255, int(px[k + i] / a * 255 + 0.5)) for i in range(3)) + (a8,))
        return out


def flatten(pixels, bg):
    """8-bit straight RGBA over an opaque background colour, as RGB triples."""
    br, bg_, bb = bg[:3]
    out = []
    for r, g, b, a in pixels:
        out.append((
            (r * a + br * (255 - a) + 127) // 255,
            (g * a + bg_ * (255 - a) + 127) // 255,
            (b * a + bb * (255 - a) + 127) // 255,
        ))
    return out


def resize_nearest(pixels, w, h, nw, nh):
    """Nearest-pixel scaling, the way a plain StretchBlt drops or repeats columns."""
    return [pixels[(y * h // nh) * w + (x * w // nw)] for y in range(nh) for x in range(nw)]


# ----------------------------------------------------------------------------- files


def bmp24(w, h, rgb):
    """A bottom-up 24-bit BMP of RGB triples."""
    stride = (w * 3 + 3) & ~3
    body = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for r, g, b in rgb[y * w:(y + 1) * w]:
            row += bytes((b, g, r))
        row += bytes(stride - len(row))
        body += row
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(body), 0, 0, 14 + len(info))
    return head + info + bytes(body)


def png(w, h, pixels):
    """An 8-bit RGBA PNG."""
    raw = bytearray()
    for y in range(h):
        raw.append(0)
        for p in pixels[y * w:(y + 1) * w]:
            raw += bytes(p)

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


OPAQUE_FROM = 128  # alpha at which a pixel counts as opaque in the 1-bit mask


def _and_mask(w, h, alpha):
    """1 where transparent, bottom-up, rows padded to 32 bits."""
    stride = ((w + 31) // 32) * 4
    out = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(stride)
        for x in range(w):
            if alpha[y * w + x] < OPAQUE_FROM:
                row[x >> 3] |= 0x80 >> (x & 7)
        out += row
    return bytes(out)


def median_cut(colours, n):
    """At most n representative colours for a list of (count, (r, g, b))."""
    boxes = [list(colours)]
    while len(boxes) < n:
        best = None
        for i, b in enumerate(boxes):
            if len(b) < 2:
                continue
            spans = [max(c[1][k] for c in b) - min(c[1][k] for c in b) for k in range(3)]
            score = max(spans) * sum(c[0] for c in b)
            if best is None or score > best[0]:
                best = (score, i, spans.index(max(spans)))
        if best is None or best[0] == 0:
            break
        _, i, k = best
        b = sorted(boxes.pop(i), key=lambda c: c[1][k])
        total = sum(c[0] for c in b)
        # Cut where the running count comes closest to half, never leaving a side empty.
        run = 0
        cut, gap = 1, None
        for j, c in enumerate(b[:-1]):
            run += c[0]
            if gap is None or abs(2 * run - total) < gap:
                cut, gap = j + 1, abs(2 * run - total)
        boxes += [b[:cut], b[cut:]]
    out = []
    for b in boxes:
        t = sum(c[0] for c in b)
        out.append(tuple(int(round(sum(c[0] * c[1][k] for c in b) / t)) for k in range(3)))
    return out


def _dib32(w, h, pixels):
    body = bytearray()
    for y in range(h - 1, -1, -1):
        for r, g, b, a in pixels[y * w:(y + 1) * w]:
            body += bytes((b, g, r, a)) if a else b"\0\0\0\0"
    mask = _and_mask(w, h, [p[3] for p in pixels])
    info = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0, len(body) + len(mask), 0, 0, 0, 0)
    return info + bytes(body) + mask


def _dib8(w, h, pixels, matte):
    """A paletted image for screens and systems without alpha: the half-covered edge pixels
    are blended with a dialog-like grey, the rest cut away by the mask."""
    alpha = [p[3] for p in pixels]
    flat = flatten(pixels, matte)
    counts = {}
    for c, a in zip(flat, alpha):
        if a >= OPAQUE_FROM:
            counts[c] = counts.get(c, 0) + 1
    # Index 0 stays black: transparent pixels must leave the screen alone when XORed.
    if len(counts) <= 255:
        pal = sorted(counts)
    else:
        pal = median_cut(sorted((n, c) for c, n in counts.items()), 255)
    palette = [(0, 0, 0)] + pal
    lookup = {}

    def index(c):
        if c not in lookup:
            lookup[c] = 1 + min(range(len(pal)), key=lambda i: sum((pal[i][k] - c[k]) ** 2 for k in range(3)))
        return lookup[c]

    stride = (w + 3) & ~3
    body = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(stride)
        for x in range(w):
            if alpha[y * w + x] >= OPAQUE_FROM:
                row[x] = index(flat[y * w + x])
        body += row
    mask = _and_mask(w, h, alpha)
    rgbquad = b"".join(bytes((b, g, r, 0)) for r, g, b in palette + [(0, 0, 0)] * (256 - len(palette)))
    info = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 8, 0, len(body) + len(mask), 0, 0, 256, 0)
    return info + rgbquad + bytes(body) + mask


def ico(images, matte=(200, 200, 200)):
    """An icon file from [(size, straight RGBA pixels)]: each size as 32-bit with alpha and as
    8-bit paletted with a mask."""
    entries = []
    for size, pixels in images:
        entries.append((size, 32, _dib32(size, size, pixels)))
        entries.append((size, 8, _dib8(size, size, pixels, matte)))
    head = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    dirs = b""
    data = b""
    for size, bpp, dib in entries:
        dirs += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, bpp, len(dib), offset + len(data))
        data += dib
    return head + dirs + data
