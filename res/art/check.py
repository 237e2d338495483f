"""Checks the rendered wizard artwork that the resource script embeds.

    python3 check.py [DIR]     (DIR defaults to this script's folder)

banner.bmp must be an uncompressed 24-bit BMP of at least 500 x 63. Each anim_NN.ico
(00 to 20) must parse, hold a 32 x 32 and a 16 x 16 image, hold a 32 x 32 image of at most
24 bits that systems without alpha can draw, and have masks that are neither all opaque nor
all transparent. Pixels the mask cuts away must be black in the colour part, or drawing the
icon tints the dialog behind it. Neighbouring frames must differ.
"""
import os
import struct
import sys

ICON_COUNT = 21


class Bad(Exception):
    pass


def _need(data, end, what):
    if len(data) < end:
        raise Bad("%s: file ends at byte %d, needs %d" % (what, len(data), end))


def parse_bmp(data):
    _need(data, 54, "bitmap header")
    magic, size, _, _, offset = struct.unpack_from("<2sIHHI", data, 0)
    if magic != b"BM":
        raise Bad("not a BMP (starts %r)" % data[:2])
    hsize, w, h, planes, bpp, comp = struct.unpack_from("<IiiHHI", data, 14)
    if hsize < 40:
        raise Bad("bitmap info header of %d bytes" % hsize)
    if planes != 1:
        raise Bad("%d planes" % planes)
    stride = ((w * bpp + 31) // 32) * 4
    return {"width": w, "height": abs(h), "bpp": bpp, "compression": comp, "offset": offset, "stride": stride,
            "top_down": h < 0, "complete": comp != 0 or len(data) >= offset + stride * abs(h)}


def _dib_image(blob, where):
    """One icon image stored as a DIB: colour part and 1-bit mask."""
    _need(blob, 40, where)
    hsize, w, h2, planes, bpp, comp, _, _, _, used, _ = struct.unpack_from("<IiiHHIIiiII", blob, 0)
    if hsize != 40:
        raise Bad("%s: header of %d bytes" % (where, hsize))
    if h2 != 2 * w:
        raise Bad("%s: height %d is not twice the width %d" % (where, h2, w))
    if comp != 0:
        raise Bad("%s: compressed (%d)" % (where, comp))
    if bpp not in (1, 4, 8, 24, 32):
        raise Bad("%s: %d bits per pixel" % (where, bpp))
    h = w
    pal_n = (used or (1 << bpp)) if bpp <= 8 else 0
    pal_at = hsize
    xor_at = pal_at + 4 * pal_n
    xor_stride = ((w * bpp + 31) // 32) * 4
    and_at = xor_at + xor_stride * h
    and_stride = ((w + 31) // 32) * 4
    _need(blob, and_at + and_stride * h, where)
    palette = [tuple(blob[pal_at + 4 * i:pal_at + 4 * i + 3][::-1]) for i in range(pal_n)]
    colour, alpha, mask = [], [], []
    for y in range(h):
        row = h - 1 - y  # stored bottom-up
        base = xor_at + row * xor_stride
        mbase = and_at + row * and_stride
        for x in range(w):
            if bpp == 32:
                b, g, r, a = blob[base + 4 * x:base + 4 * x + 4]
                colour.append((r, g, b))
                alpha.append(a)
            elif bpp == 24:
                b, g, r = blob[base + 3 * x:base + 3 * x + 3]
                colour.append((r, g, b))
            else:
                bit = x * bpp
                v = (blob[base + bit // 8] >> (8 - bpp - bit % 8)) & ((1 << bpp) - 1)
                if v >= len(palette):
                    raise Bad("%s: pixel (%d, %d) uses colour %d of %d" % (where, x, y, v, len(palette)))
                colour.append(palette[v])
            mask.append((blob[mbase + x // 8] >> (7 - x % 8)) & 1)
    return {"size": w, "bpp": bpp, "colour": colour, "alpha": alpha if bpp == 32 else None, "mask": mask,
            "png": False}


def parse_ico(data):
    _need(data, 6, "icon header")
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if reserved != 0 or kind != 1:
        raise Bad("not an icon file (reserved %d, type %d)" % (reserved, kind))
    if count == 0:
        raise Bad("icon file with no images")
    _need(data, 6 + 16 * count, "icon directory")
    images = []
    for i in range(count):
        w, h, _, _, planes, bpp, length, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        where = "image %d" % i
        _need(data, offset + length, where)
        blob = data[offset:offset + length]
        if blob[:8] == b"\x89PNG\r\n\x1a\n":
            iw, ih = struct.unpack_from(">II", blob, 16)
            images.append({"size": iw, "bpp": 32, "png": True})
            continue
        img = _dib_image(blob, where)
        if img["size"] != (w or 256) or (h or 256) != img["size"]:
            raise Bad("%s: directory says %dx%d, image is %d wide" % (where, w or 256, h or 256, img["size"]))
        images.append(img)
    return images


def banner_problems(data):
    try:
        b = parse_bmp(data)
    except Bad as e:
        return [str(e)]
    out = []
    if b["width"] < 500 or b["height"] < 63:
        out.append("banner is %dx%d, smaller than 500x63" % (b["width"], b["height"]))
    if b["bpp"] != 24:
        out.append("banner has %d bits per pixel, not 24" % b["bpp"])
    if b["compression"] != 0:
        out.append("banner is compressed (%d)" % b["compression"])
    if not b["complete"]:
        out.append("banner's pixels are cut short (%d bytes of %d)" % (
            len(data), b["offset"] + b["stride"] * b["height"]))
    return out


def icon_problems(data):
    try:
        images = parse_ico(data)
    except Bad as e:
        return [str(e)]
    out = []
    sizes = {img["size"] for img in images}
    for need in (32, 16):
        if need not in sizes:
            out.append("no %dx%d image" % (need, need))
    if not any(img["size"] == 32 and not img["png"] and img["bpp"] <= 24 for img in images):
        out.append("no 32x32 image of 24 bits or fewer for systems without alpha")
    for i, img in enumerate(images):
        if img["png"]:
            continue
        where = "image %d (%dx%d, %d-bit)" % (i, img["size"], img["size"], img["bpp"])
        mask = img["mask"]
        if all(mask):
            out.append(where + ": mask is all transparent")
        elif not any(mask):
            out.append(where + ": mask is all opaque")
        if img["alpha"] is None:
            stray = sum(1 for m, c in zip(mask, img["colour"]) if m and c != (0, 0, 0))
            if stray:
                out.append(where + ": %d masked-out pixels are not black" % stray)
        else:
            alpha = img["alpha"]
            if not any(alpha):
                out.append(where + ": alpha is all zero")
            wrong = sum(1 for m, a in zip(mask, alpha) if (m == 0 and a == 0) or (m == 1 and a == 255))
            if wrong:
                out.append(where + ": %d pixels where mask and alpha disagree" % wrong)
    return out


def frame_pixels(data):
    """The 32 x 32 32-bit image's pixels, to tell frames apart."""
    for img in parse_ico(data):
        if img["size"] == 32 and not img["png"] and img["bpp"] == 32:
            return list(zip(img["colour"], img["alpha"]))
    return None


def run(folder):
    results = []

    def read(name):
        with open(os.path.join(folder, name), "rb") as f:
            return f.read()

    def record(name, problems):
        results.append((name, problems))

    try:
        record("banner.bmp", banner_problems(read("banner.bmp")))
    except OSError as e:
        record("banner.bmp", [str(e)])
    previous = None
    for i in range(ICON_COUNT):
        name = "anim_%02d.ico" % i
        try:
            data = read(name)
        except OSError as e:
            record(name, [str(e)])
            previous = None
            continue
        problems = icon_problems(data)
        if not problems:
            pixels = frame_pixels(data)
            if previous is not None and pixels == previous:
                problems.append("same picture as the frame before it")
            previous = pixels
        record(name, problems)
    return results


def main(argv):
    folder = argv[1] if len(argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    results = run(folder)
    failed = 0
    for name, problems in results:
        if problems:
            failed += 1
            for p in problems:
                print("FAIL %s: %s" % (name, p))
        else:
            print("ok   %s" % name)
    print("%d passed, %d failed" % (len(results) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
