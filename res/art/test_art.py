"""Tests of the artwork's rasteriser, file writers, flight path and checker.

    cd res/art && python3 -m unittest test_art
"""
import math
import os
import struct
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import artwork  # noqa: E402
import check  # noqa: E402
import draw  # noqa: E402


def cov_at(cov, x, y):
    x0, y0, rows = cov
    if not (y0 <= y < y0 + len(rows)) or not (x0 <= x < x0 + len(rows[0])):
        return 0.0
    return rows[y - y0][x - x0]


class Coverage(unittest.TestCase):
    def test_pixel_aligned_rect_is_exact(self):
        cov = draw.coverage(draw.rect(2, 3, 4, 5), 10, 10)
        for y in range(10):
            for x in range(10):
                want = 1.0 if 2 <= x < 6 and 3 <= y < 8 else 0.0
                self.assertAlmostEqual(cov_at(cov, x, y), want, places=6, msg=(x, y))

    def test_half_pixel_edges_half_cover(self):
        cov = draw.coverage(draw.rect(1.5, 1.0, 2.0, 1.0), 5, 5)
        self.assertAlmostEqual(cov_at(cov, 1, 1), 0.5, places=6)
        self.assertAlmostEqual(cov_at(cov, 2, 1), 1.0, places=6)
        self.assertAlmostEqual(cov_at(cov, 3, 1), 0.5, places=6)

    def test_total_coverage_is_the_area(self):
        tri = draw.poly((1.3, 1.1), (17.7, 4.2), (6.4, 15.9))
        area = abs(draw.signed_area(tri[0]))
        cov = draw.coverage(tri, 20, 20)
        self.assertAlmostEqual(sum(map(sum, cov[2])), area, delta=area * 0.01)
        disc = draw.ellipse(10, 10, 6, 6, 96)
        cov = draw.coverage(disc, 20, 20)
        self.assertAlmostEqual(sum(map(sum, cov[2])), math.pi * 36, delta=0.5)

    def test_shapes_are_clipped_to_the_canvas(self):
        cov = draw.coverage(draw.rect(-5, -5, 8, 8), 4, 4)
        x0, y0, rows = cov
        self.assertEqual((x0, y0), (0, 0))
        self.assertEqual(len(rows), 3)
        self.assertAlmostEqual(sum(map(sum, rows)), 9.0, places=6)
        self.assertIsNone(draw.coverage(draw.rect(10, 10, 2, 2), 4, 4))

    def test_even_odd_leaves_a_hole_nonzero_does_not(self):
        ring = draw.rect(0, 0, 10, 10) + draw.rect(3, 3, 4, 4)
        self.assertAlmostEqual(cov_at(draw.coverage(ring, 10, 10, "evenodd"), 5, 5), 0.0)
        self.assertAlmostEqual(cov_at(draw.coverage(ring, 10, 10, "nonzero"), 5, 5), 1.0)

    def test_one_pixel_stroke_on_half_pixel_line_fills_one_column(self):
        cov = draw.coverage(draw.stroke([(4.5, 2), (4.5, 8)], 1.0, caps=False), 10, 10)
        for y in range(2, 8):
            self.assertAlmostEqual(cov_at(cov, 4, y), 1.0, places=6)
            self.assertAlmostEqual(cov_at(cov, 3, y), 0.0, places=6)
            self.assertAlmostEqual(cov_at(cov, 5, y), 0.0, places=6)

    def test_stroke_pieces_do_not_cancel_where_they_overlap(self):
        # A closed square outline: corners are covered by two quads and a disc.
        sq = [(2.5, 2.5), (7.5, 2.5), (7.5, 7.5), (2.5, 7.5)]
        cov = draw.coverage(draw.stroke(sq, 1.0, closed=True), 10, 10)
        self.assertGreater(cov_at(cov, 2, 2), 0.9)
        self.assertAlmostEqual(cov_at(cov, 5, 2), 1.0, places=6)
        self.assertAlmostEqual(cov_at(cov, 5, 5), 0.0, places=6)

    def test_inset_moves_every_side_inwards(self):
        sq = draw.inset([(0, 0), (10, 0), (10, 10), (0, 10)], 1)
        self.assertEqual(sorted((round(x, 6), round(y, 6)) for x, y in sq), [(1, 1), (1, 9), (9, 1), (9, 9)])


class Transforms(unittest.TestCase):
    def test_right_hand_transform_acts_first(self):
        xf = draw.translate(10, 0) @ draw.rotate(90)
        x, y = xf(1, 0)
        self.assertAlmostEqual(x, 10)
        self.assertAlmostEqual(y, 1)

    def test_rotation_about_a_point_keeps_it(self):
        x, y = draw.rotate(37, 5, 6)(5, 6)
        self.assertAlmostEqual(x, 5)
        self.assertAlmostEqual(y, 6)
        self.assertAlmostEqual((draw.scale(3) @ draw.rotate(20)).scale(), 3)


class Canvas(unittest.TestCase):
    def test_source_over_and_straight_alpha_out(self):
        cv = draw.Canvas(2, 1)
        cv.fill(draw.rect(0, 0, 2, 1), (255, 0, 0))
        cv.fill(draw.rect(0, 0, 1, 1), (0, 0, 255), opacity=0.5)
        self.assertEqual(cv.rgba8(), [(128, 0, 128, 255), (255, 0, 0, 255)])
        half = draw.Canvas(1, 1)
        half.fill(draw.rect(0, 0, 1, 1), (10, 200, 30), opacity=0.5)
        self.assertEqual(half.rgba8(), [(10, 200, 30, 128)])

    def test_clip_limits_the_fill(self):
        cv = draw.Canvas(4, 1)
        cv.fill(draw.rect(0, 0, 4, 1), (0, 0, 0), clip=cv.mask(draw.rect(0, 0, 2, 1)))
        self.assertEqual([p[3] for p in cv.rgba8()], [255, 255, 0, 0])

    def test_linear_gradient_runs_from_p0_to_p1(self):
        paint = draw.linear((0, 0), (10, 0), [(0, (0, 0, 0)), (1, (255, 255, 255))])
        self.assertAlmostEqual(paint(5, 3)[0], 0.5)
        self.assertAlmostEqual(paint(-4, 0)[0], 0.0)
        self.assertAlmostEqual(paint(40, 0)[0], 1.0)


class Files(unittest.TestCase):
    def test_bmp_rows_are_padded_and_stored_bottom_up(self):
        w, h = 3, 2  # 9 bytes a row, padded to 12
        rgb = [(1, 2, 3), (4, 5, 6), (7, 8, 9), (10, 11, 12), (13, 14, 15), (16, 17, 18)]
        data = draw.bmp24(w, h, rgb)
        info = check.parse_bmp(data)
        self.assertEqual((info["width"], info["height"], info["bpp"], info["stride"]), (3, 2, 24, 12))
        self.assertEqual(len(data), info["offset"] + 24)
        bottom_first = data[info["offset"]:info["offset"] + 3]
        self.assertEqual(tuple(bottom_first), (12, 11, 10))  # BGR of the bottom row's first pixel

    def _icon_pixels(self, size=32):
        px = []
        for y in range(size):
            for x in range(size):
                if x < size // 2:
                    px.append((0, 0, 0, 0))
                elif y < size // 4:
                    px.append((200, 40, 40, 100))  # too faint for the 1-bit mask
                else:
                    px.append((20 * (x % 4), 90, 200, 255))
        return px

    def test_icon_round_trips_with_mask_from_alpha(self):
        px = self._icon_pixels()
        images = check.parse_ico(draw.ico([(32, px), (16, self._icon_pixels(16))]))
        self.assertEqual(sorted((i["size"], i["bpp"]) for i in images), [(16, 8), (16, 32), (32, 8), (32, 32)])
        for img in images:
            if img["size"] != 32:
                continue
            self.assertEqual(img["mask"], [1 if p[3] < 128 else 0 for p in px])
            if img["bpp"] == 32:
                self.assertEqual(img["alpha"], [p[3] for p in px])
                self.assertEqual(img["colour"][-1], px[-1][:3])
            else:
                opaque = [c for c, p in zip(img["colour"], px) if p[3] == 255]
                self.assertEqual(opaque, [p[:3] for p in px if p[3] == 255])  # few colours: exact
                self.assertTrue(all(c == (0, 0, 0) for c, m in zip(img["colour"], img["mask"]) if m))
        self.assertEqual(check.icon_problems(draw.ico([(32, px), (16, self._icon_pixels(16))])), [])

    def test_many_colours_are_reduced_to_a_palette(self):
        px = [(x * 8, y * 8, (x * y) % 256, 255) for y in range(32) for x in range(32)]
        px[0] = (0, 0, 0, 0)
        img = [i for i in check.parse_ico(draw.ico([(32, px)])) if i["bpp"] == 8][0]
        self.assertLessEqual(len(set(img["colour"])), 256)
        err = max(max(abs(a - b) for a, b in zip(c, p[:3])) for c, p in zip(img["colour"][1:], px[1:]))
        self.assertLess(err, 40)

    def test_median_cut_keeps_distinct_clusters(self):
        cols = [(10, (250, 0, 0)), (12, (245, 5, 0)), (9, (0, 0, 250)), (11, (0, 5, 245))]
        pal = draw.median_cut(cols, 2)
        self.assertEqual(len(pal), 2)
        self.assertTrue(any(p[0] > 200 for p in pal) and any(p[2] > 200 for p in pal))

    def test_png_is_well_formed(self):
        import zlib
        data = draw.png(2, 1, [(1, 2, 3, 4), (5, 6, 7, 8)])
        self.assertEqual(data[:8], b"\x89PNG\r\n\x1a\n")
        length = struct.unpack(">I", data[33:37])[0]
        raw = zlib.decompress(data[41:41 + length])
        self.assertEqual(raw, bytes([0, 1, 2, 3, 4, 5, 6, 7, 8]))


class Checker(unittest.TestCase):
    def _good(self):
        return Files._icon_pixels(None)

    def test_all_opaque_or_all_clear_masks_are_reported(self):
        solid = [(10, 20, 30, 255)] * 1024
        clear = [(0, 0, 0, 0)] * 1024
        self.assertTrue(any("all opaque" in p for p in check.icon_problems(draw.ico([(32, solid), (16, solid[:256])]))))
        self.assertTrue(any("all transparent" in p for p in check.icon_problems(draw.ico([(32, clear), (16, clear[:256])]))))

    def test_missing_sizes_are_reported(self):
        px = self._good()
        self.assertTrue(any("16x16" in p for p in check.icon_problems(draw.ico([(32, px)]))))
        self.assertTrue(any("32x32" in p for p in check.icon_problems(draw.ico([(16, Files._icon_pixels(None, 16))]))))

    def test_truncated_or_foreign_files_are_reported(self):
        data = draw.ico([(32, self._good())])
        self.assertTrue(check.icon_problems(data[:len(data) // 2]))
        self.assertTrue(check.icon_problems(b"GIF89a" + bytes(40)))
        self.assertTrue(check.banner_problems(b"BM" + bytes(10)))

    def test_masked_pixels_that_are_not_black_are_reported(self):
        data = bytearray(draw.ico([(32, self._good()), (16, Files._icon_pixels(None, 16))]))
        # Point the 8-bit 32x32 image's colour 0 (used where the mask cuts away) at grey.
        count = struct.unpack_from("<H", data, 4)[0]
        for i in range(count):
            w, _, _, _, _, bpp, _, off = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
            if w == 32 and bpp == 8:
                data[off + 40:off + 43] = bytes((128, 128, 128))
        self.assertTrue(any("not black" in p for p in check.icon_problems(bytes(data))))

    def test_mask_disagreeing_with_alpha_is_reported(self):
        data = bytearray(draw.ico([(32, self._good()), (16, Files._icon_pixels(None, 16))]))
        off = struct.unpack_from("<I", data, 6 + 12)[0]  # first image: the 32-bit 32x32
        and_at = off + 40 + 32 * 32 * 4
        for i in range(32 * 4):
            data[and_at + i] = 0  # mark the bottom rows' clear half opaque
        self.assertTrue(any("disagree" in p for p in check.icon_problems(bytes(data))))

    def test_banner_size_and_depth_are_checked(self):
        self.assertEqual(check.banner_problems(draw.bmp24(500, 63, [(1, 2, 3)] * (500 * 63))), [])
        self.assertTrue(check.banner_problems(draw.bmp24(400, 63, [(1, 2, 3)] * (400 * 63))))
        data = bytearray(draw.bmp24(500, 63, [(1, 2, 3)] * (500 * 63)))
        struct.pack_into("<H", data, 28, 32)
        self.assertTrue(any("32 bits" in p for p in check.banner_problems(bytes(data))))

    def test_repeated_frames_are_reported(self):
        with tempfile.TemporaryDirectory() as d:
            with open(os.path.join(d, "banner.bmp"), "wb") as f:
                f.write(draw.bmp24(500, 63, [(255, 255, 255)] * (500 * 63)))
            for i in range(check.ICON_COUNT):
                px = Files._icon_pixels(None)
                if i != 5:
                    px[-1 - i] = (i, i, i, 255)
                else:
                    px[-1 - 4] = (4, 4, 4, 255)
                with open(os.path.join(d, "anim_%02d.ico" % i), "wb") as f:
                    f.write(draw.ico([(32, px), (16, Files._icon_pixels(None, 16))]))
            bad = [name for name, problems in check.run(d) if problems]
            self.assertEqual(bad, ["anim_05.ico"])


class Flight(unittest.TestCase):
    def test_sheet_stays_inside_its_icon(self):
        for k, (lx, ly, turn, _) in enumerate(artwork.flight()):
            ex, ey = artwork._extent(turn)
            self.assertGreaterEqual(lx - ex, -0.01, k + 1)
            self.assertLessEqual(lx + ex, 32.01, k + 1)
            self.assertGreaterEqual(ly - ey, -0.01, k + 1)
            self.assertLessEqual(ly + ey, 32.01, k + 1)

    def test_screen_path_moves_right_in_even_steps(self):
        poses = artwork.flight()
        xs = [ox + p[0] for (ox, _), p in zip(artwork.FRAME_ORIGINS, poses)]
        steps = [b - a for a, b in zip(xs, xs[1:])]
        self.assertTrue(all(s > 0 for s in steps[:17]), steps)
        self.assertEqual(steps[17:], [0.0, 0.0])  # what is left of it stays where it landed
        flying = steps[3:15]
        self.assertLess(max(flying) / min(flying), 2.2, flying)

    def test_sheet_starts_in_the_carton_and_lands_on_its_ground(self):
        poses = artwork.flight()
        lx, ly, turn, amount = poses[0]
        ox, oy = artwork.FRAME_ORIGINS[0]
        self.assertEqual((ox, oy), artwork.BASE_ORIGIN)
        self.assertGreater(ly + artwork.SHEET_H / 2, artwork.RIM_Y)  # its foot is hidden by the rim
        self.assertEqual((turn, amount), (0.0, 0.0))
        ground = artwork.BASE_ORIGIN[1] + artwork.GROUND_Y
        _, oy, = artwork.FRAME_ORIGINS[17]
        self.assertAlmostEqual(oy + poses[17][1] + artwork.SHEET_H / 2, ground, delta=1.0)
        self.assertEqual([p[3] > 0 for p in poses][-4:], [False, True, True, True])

    def test_frames_shrink_as_the_sheet_crumbles(self):
        opaque = [sum(1 for p in artwork.icon(i).rgba8() if p[3] >= 128) for i in (17, 18, 19, 20)]
        self.assertEqual(opaque, sorted(opaque, reverse=True))
        self.assertLess(opaque[-1], opaque[0] / 3)


class Render(unittest.TestCase):
    def test_committed_files_are_what_the_source_renders(self):
        with tempfile.TemporaryDirectory() as d:
            subprocess.run([sys.executable, os.path.join(HERE, "artwork.py"), d], check=True)
            for name in ["banner.bmp"] + ["anim_%02d.ico" % i for i in range(21)]:
                with open(os.path.join(d, name), "rb") as a, open(os.path.join(HERE, name), "rb") as b:
                    self.assertTrue(a.read() == b.read(), name + " differs from a fresh render: run render.sh")


if __name__ == "__main__":
    unittest.main()
