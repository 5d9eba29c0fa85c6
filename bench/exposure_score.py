#!/usr/bin/python3
"""Scores merged pictures against the true scene, for the exposure measurements.

  exposure_score.py psnr TRUTH.tif NAME=OUT.tif[@X,Y] ...
      PSNR of each output against the truth over the pixels both cover (the output's alpha,
      where it has one, and the truth's), in 8-bit units; @X,Y: the output's top-left corner
      on the truth's canvas (default 0,0). Truth and outputs may be 8- or 16-bit.
  exposure_score.py gains TRUTH.json REPORT.txt
      How close the gains quiltmerge printed (-profile) are to the true ones of a grid mosaic:
      a correction undoes a tile's gain up to one factor common to all tiles (the prior keeps
      the overall brightness, not the truth's), so each channel's products
      estimate * true gain are divided by their geometric mean before comparing with 1.
  exposure_score.py transition TRUTH.tif X0 X1 Y0 Y1 NAME=OUT.tif[@X,Y] ...
      The exposure step across a vertical seam: within rows Y0..Y1 the ratio output/truth is
      averaged per column over X0..X1 (smoothed over 15 columns); the levels on either side
      are the means of its first and last eighth, the width is how many columns the ratio
      takes from 10 % to 90 % of the way between them (meaningless once the step is gone),
      and the span is the ratio's whole range across the window.
Uncompressed TIFF is read a band of rows at a time; compressed TIFF whole, through PIL.
"""
import json
import math
import re
import struct
import sys

import numpy as np


class Tiff:
    """An uncompressed, contiguous, strip-based TIFF, read by rows."""

    def __init__(self, path):
        self.f = open(path, "rb")
        head = self.f.read(8)
        self.endian = "<" if head[:2] == b"II" else ">"
        magic = struct.unpack(self.endian + "H", head[2:4])[0]
        if magic == 43:  # BigTIFF
            self.f.seek(8)
            ifd = struct.unpack(self.endian + "Q", self.f.read(8))[0]
            count_fmt, entry_size, big = "Q", 20, True
        else:
            ifd = struct.unpack(self.endian + "I", head[4:8])[0]
            count_fmt, entry_size, big = "H", 12, False
        self.f.seek(ifd)
        n = struct.unpack(self.endian + count_fmt, self.f.read(8 if big else 2))[0]
        tags = {}
        sizes = {1: 1, 3: 2, 4: 4, 5: 8, 16: 8}
        codes = {1: "B", 3: "H", 4: "I", 16: "Q"}
        for _ in range(n):
            e = self.f.read(entry_size)
            if big:
                tag, kind, count = struct.unpack(self.endian + "HHQ", e[:12])
                payload = e[12:20]
            else:
                tag, kind, count = struct.unpack(self.endian + "HHI", e[:8])
                payload = e[8:12]
            if kind not in codes:
                continue
            nbytes = sizes[kind] * count
            if nbytes > len(payload):
                where = struct.unpack(self.endian + ("Q" if big else "I"), payload)[0]
                pos = self.f.tell()
                self.f.seek(where)
                payload = self.f.read(nbytes)
                self.f.seek(pos)
            tags[tag] = struct.unpack(self.endian + codes[kind] * count, payload[:nbytes])
        self.width, self.height = tags[256][0], tags[257][0]
        self.bits = tags[258][0]
        self.samples = tags.get(277, (1,))[0]
        self.pixels = None
        if tags.get(259, (1,))[0] != 1:
            # Compressed: PIL decodes it whole (8-bit only), fine for small pictures.
            from PIL import Image
            self.pixels = np.asarray(Image.open(path))
            if self.pixels.ndim == 2:
                self.pixels = self.pixels[:, :, None]
        self.offsets = tags[273]
        self.rows_per_strip = tags.get(278, (self.height,))[0]
        self.dtype = np.dtype(self.endian + ("u1" if self.bits == 8 else "u2"))
        self.row_bytes = self.width * self.samples * self.dtype.itemsize

    def rows(self, y0, y1):
        """Rows y0..y1-1 as a (rows, width, samples) array scaled to 0..255 floats."""
        if self.pixels is not None:
            return self.pixels[y0:y1].astype(np.float32) * np.float32(255.0 / (255 if self.bits == 8 else 65535))
        out = np.empty((y1 - y0, self.width, self.samples), dtype=np.float32)
        y = y0
        while y < y1:
            strip = y // self.rows_per_strip
            first = strip * self.rows_per_strip
            take = min(y1, first + self.rows_per_strip) - y
            self.f.seek(self.offsets[strip] + (y - first) * self.row_bytes)
            data = np.frombuffer(self.f.read(take * self.row_bytes), dtype=self.dtype)
            out[y - y0:y - y0 + take] = data.reshape(take, self.width, self.samples)
            y += take
        if self.bits == 16:
            out *= np.float32(255.0 / 65535.0)
        return out


def parse_outputs(words):
    outputs = []
    for w in words:
        name, rest = w.split("=", 1)
        x = y = 0
        if "@" in rest:
            rest, place = rest.rsplit("@", 1)
            x, y = (int(v) for v in place.split(","))
        outputs.append((name, rest, x, y))
    return outputs


def psnr(truth_path, words, band=256):
    truth = Tiff(truth_path)
    for name, path, ox, oy in parse_outputs(words):
        out = Tiff(path)
        y0, y1 = max(0, oy), min(truth.height, oy + out.height)
        x0, x1 = max(0, ox), min(truth.width, ox + out.width)
        se, count = 0.0, 0
        for y in range(y0, y1, band):
            yb = min(y1, y + band)
            t = truth.rows(y, yb)[:, x0:x1]
            o = out.rows(y - oy, yb - oy)[:, x0 - ox:x1 - ox]
            mask = np.ones(t.shape[:2], dtype=bool)
            if truth.samples in (2, 4):
                mask &= t[:, :, -1] > 0
            if out.samples in (2, 4):
                mask &= o[:, :, -1] > 127
            d = (o[:, :, :3] - t[:, :, :3])[mask]
            se += float(np.sum(d.astype(np.float64) ** 2))
            count += d.size
        mse = se / max(count, 1)
        print("%-28s PSNR %6.2f dB over %.1f MP" % (name, 10 * math.log10(255.0 ** 2 / mse), count / 3e6))


def gains(truth_json, report):
    truth = json.load(open(truth_json))
    true = {t["file"]: t["gain"] for t in truth["tiles"]}
    est = {}
    for line in open(report):
        m = re.match(r"\s+\d+ (\S+): ([\d.]+) ([\d.]+) ([\d.]+)", line)
        if m:
            est[m.group(1).rsplit("/", 1)[-1]] = [float(m.group(k)) for k in (2, 3, 4)]
    names = sorted(true)
    if set(est) != set(names):
        sys.exit("the report names %d of the %d tiles" % (len(set(est) & set(names)), len(names)))
    p = np.array([[est[n][c] * true[n][c] for c in range(3)] for n in names])
    p /= np.exp(np.mean(np.log(p), axis=0))
    dev = np.abs(p - 1.0)
    print("tiles %d: |estimate x true / common - 1| max %.3f %%, rms %.3f %%, within 1 %%: %d of %d values" % (
        len(names), 100 * dev.max(), 100 * math.sqrt(float(np.mean(dev ** 2))), int(np.sum(dev <= 0.01)), dev.size))
    for line in open(report):
        m = re.search(r"log V = ([-+\d.]+) r\^2 ([-+\d.]+) r\^4 ([-+\d.]+) r\^6", line)
        if m and "vignetting" in truth:
            c = [float(m.group(k)) for k in (1, 2, 3)]
            a, b = truth["vignetting"]["a"], truth["vignetting"]["b"]
            cells = []
            for r2 in (0.25, 0.5, 0.75, 1.0):
                found = math.exp(c[0] * r2 + c[1] * r2 ** 2 + c[2] * r2 ** 3)
                cells.append("r^2 %.2f: %.4f (true %.4f)" % (r2, found, 1 + a * r2 + b * r2 * r2))
            print("falloff " + ", ".join(cells))


def transition(truth_path, x0, x1, y0, y1, words):
    truth = Tiff(truth_path)
    t = truth.rows(y0, y1)
    for name, path, ox, oy in parse_outputs(words):
        out = Tiff(path)
        o = out.rows(y0 - oy, y1 - oy)[:, x0 - ox:x1 - ox, :3]
        tt = t[:, x0:x1, :3]
        ok = (tt > 8).all(axis=2) & (tt < 247).all(axis=2)
        if out.samples in (2, 4):
            ok &= out.rows(y0 - oy, y1 - oy)[:, x0 - ox:x1 - ox, -1] > 127
        ratio = np.where(ok, o.mean(axis=2) / np.maximum(tt.mean(axis=2), 1e-3), np.nan)
        profile = np.nanmean(ratio, axis=0)
        kernel = np.ones(15) / 15
        smooth = np.convolve(np.nan_to_num(profile, nan=np.nanmean(profile)), kernel, mode="same")
        n = len(smooth)
        inner = smooth[7:n - 7]
        left, right = smooth[7:n // 8].mean(), smooth[n - n // 8:n - 7].mean()
        step = right - left
        frac = (inner - left) / step if abs(step) > 1e-9 else np.zeros(len(inner))
        cross10, cross90 = np.nonzero(frac >= 0.1)[0], np.nonzero(frac >= 0.9)[0]
        width = (cross90[0] - cross10[0]) if len(cross10) and len(cross90) else float("nan")
        print("%-28s levels %.4f -> %.4f: step %+6.2f %%, 10-90 %% width %4s px; ratio spans %.2f %% of its mean" % (
            name, left, right, 100 * step / left, width, 100 * (inner.max() - inner.min()) / inner.mean()))


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    what = sys.argv[1]
    if what == "psnr":
        psnr(sys.argv[2], sys.argv[3:])
    elif what == "gains":
        gains(sys.argv[2], sys.argv[3])
    elif what == "transition":
        x0, x1, y0, y1 = (int(v) for v in sys.argv[3:7])
        transition(sys.argv[2], x0, x1, y0, y1, sys.argv[7:])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
