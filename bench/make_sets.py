#!/usr/bin/python3
"""Generates the benchmark input sets: tiles cut at known offsets from the shared photos.

Usage: bench/make_sets.py [--sets a,b,...] [OUTDIR]   (default /tmp/qm-bench)

Every set gets its own folder OUTDIR/SET with
  tile_NN.tif        RGB TIFF (8 or 16 bits), the quiltmerge inputs
  layer_NN.tif       RGBA TIFF with XPOSITION/YPOSITION and the full canvas size, for enblend
  args.txt           quiltmerge's argument list, one word per line
  enblend_args.txt   enblend's inputs (and options), one word per line
  set.txt            what the set is, for the reports
Output is deterministic: the seeds are fixed and the photos never change.
Needs python3-pil and python3-numpy.
"""
import argparse
import os
import struct
import sys
import time

import numpy as np
from PIL import Image

PHOTO_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "shared", "photos")
if not os.path.isdir(PHOTO_DIR):
    PHOTO_DIR = "/work/shared/photos"

# The photo is never enlarged past this; longer canvases continue it mirrored, which keeps
# detail at a realistic scale and has no break where the copies meet.
MAX_UPSCALE = 4.0
JITTER = 6  # vertical jitter range in pixels, 0..JITTER
OVERLAP = 0.28


def step_for(size):
    return int(round(size * (1.0 - OVERLAP)))


def row_layout(n, w, h, rows=1):
    sx, sy = step_for(w), step_for(h)
    return [(c * sx, r * sy) for r in range(rows) for c in range(n)]


# photo, tile size, grid (columns, rows), band centre as a fraction of the photo's height;
# optional: fixed scale, wrap (closed with -HorWrap), twin16 (same tiles as 16-bit TIFFs)
SETS = {
    "two": dict(photo="life.jpg", size=(1600, 1200), grid=(2, 1), centre=0.55),
    "row6": dict(photo="aitzgorri.jpg", size=(2000, 1500), grid=(6, 1), centre=0.45),
    "grid3x3": dict(photo="life.jpg", size=(1500, 1000), grid=(3, 3), centre=0.5),
    "wrap360": dict(photo="aitzgorri.jpg", size=(1600, 1200), grid=(6, 1), centre=0.45, wrap=True),
    "scale8": dict(photo="life.jpg", size=(1200, 900), grid=(8, 1), centre=0.55, scale=MAX_UPSCALE),
    "scale16": dict(photo="life.jpg", size=(1200, 900), grid=(16, 1), centre=0.55, scale=MAX_UPSCALE),
    "scale32": dict(photo="life.jpg", size=(1200, 900), grid=(32, 1), centre=0.55, scale=MAX_UPSCALE),
    "scale64": dict(photo="life.jpg", size=(1200, 900), grid=(64, 1), centre=0.55, scale=MAX_UPSCALE),
    "big90": dict(photo="aitzgorri.jpg", size=(3000, 2400), grid=(10, 2), centre=0.45, twin16="big90_16"),
}
ALL_SETS = list(SETS) + ["big90_16"]


# ---- TIFF writing: uncompressed, contiguous, with exactly the tags enblend and libtiff need


def _rational(value, denominator):
    return (int(round(value * denominator)), denominator)


def write_tiff(path, pixels, position=None, canvas=None, alpha_extra=False):
    """pixels: H x W x S array of uint8 or uint16. position (x, y) and canvas (w, h) add the
    placement tags (XPOSITION/YPOSITION at 150 dpi, PIXAR full width/length)."""
    height, width, samples = pixels.shape
    write_tiff_bands(path, width, height, samples, pixels.dtype, [pixels], position, canvas, alpha_extra)


def write_tiff_bands(path, width, height, samples, dtype, bands, position=None, canvas=None, alpha_extra=False):
    """As write_tiff, with the pixels handed over as consecutive bands of rows (any iterable of
    B x W x S arrays), so that a canvas never has to sit in memory whole. Past 4 GiB the file
    is BigTIFF."""
    dtype = np.dtype(dtype)
    bits = dtype.itemsize * 8
    row_bytes = width * samples * dtype.itemsize
    rows_per_strip = max(1, (256 * 1024) // row_bytes)
    strips = (height + rows_per_strip - 1) // rows_per_strip
    data_bytes = row_bytes * height
    # Classic TIFF offsets are 32 bits; the IFD and its arrays follow the pixels.
    big = data_bytes + 16 * strips + 4096 >= 2 ** 32
    data_offset = 16 if big else 8
    counts = [min(rows_per_strip, height - i * rows_per_strip) * row_bytes for i in range(strips)]
    offsets = [data_offset + i * rows_per_strip * row_bytes for i in range(strips)]
    strip_kind = 16 if big else 4  # LONG8 or LONG

    dpi = 150
    entries = [
        (256, 4, [width]),
        (257, 4, [height]),
        (258, 3, [bits] * samples),
        (259, 3, [1]),  # no compression
        (262, 3, [2]),  # RGB
        (273, strip_kind, offsets),
        (277, 3, [samples]),
        (278, 4, [rows_per_strip]),
        (279, strip_kind, counts),
        (282, 5, [(dpi, 1)]),
        (283, 5, [(dpi, 1)]),
        (284, 3, [1]),  # contiguous
        (296, 3, [2]),  # inch
    ]
    if position is not None:
        entries += [(286, 5, [_rational(position[0] / dpi, dpi)]), (287, 5, [_rational(position[1] / dpi, dpi)])]
    if alpha_extra:
        entries.append((338, 3, [2]))  # unassociated alpha
    entries.append((339, 3, [1] * samples))  # unsigned integers
    if canvas is not None:
        entries += [(33300, 4, [canvas[0]]), (33301, 4, [canvas[1]])]
    entries.sort()

    ifd_offset = data_offset + data_bytes + (data_bytes & 1)
    if big:
        count_fmt, entry_fmt, ref_fmt, inline, next_fmt = "<Q", "<HHQ", "<HHQQ", 8, "<Q"
    else:
        count_fmt, entry_fmt, ref_fmt, inline, next_fmt = "<H", "<HHI", "<HHII", 4, "<I"
    extra_offset = ifd_offset + struct.calcsize(count_fmt) + struct.calcsize(ref_fmt) * len(entries) + \
        struct.calcsize(next_fmt)
    ifd = bytearray(struct.pack(count_fmt, len(entries)))
    extra = bytearray()
    for tag, kind, values in entries:
        if kind == 3:
            payload = struct.pack("<%dH" % len(values), *values)
        elif kind == 4:
            payload = struct.pack("<%dI" % len(values), *values)
        elif kind == 16:
            payload = struct.pack("<%dQ" % len(values), *values)
        else:
            payload = b"".join(struct.pack("<II", n, d) for n, d in values)
        if len(payload) <= inline:
            ifd += struct.pack(entry_fmt, tag, kind, len(values)) + payload.ljust(inline, b"\0")
        else:
            ifd += struct.pack(ref_fmt, tag, kind, len(values), extra_offset + len(extra))
            extra += payload + (b"\0" if len(payload) & 1 else b"")
    ifd += struct.pack(next_fmt, 0)

    tmp = path + ".part"
    written = 0
    with open(tmp, "wb") as f:
        if big:
            f.write(b"II+\0" + struct.pack("<HHQ", 8, 0, ifd_offset))
        else:
            f.write(b"II*\0" + struct.pack("<I", ifd_offset))
        for band in bands:
            if band.shape[1:] != (width, samples) or band.dtype != dtype:
                raise ValueError("band of shape %s %s in a %dx%dx%d %s image" % (
                    band.shape, band.dtype, width, height, samples, dtype))
            f.write(np.ascontiguousarray(band).astype(dtype.newbyteorder("<"), copy=False).data)
            written += band.shape[0]
        if written != height:
            raise ValueError("%d rows written to a %d-row image" % (written, height))
        if data_bytes & 1:
            f.write(b"\0")
        f.write(ifd)
        f.write(extra)
    os.replace(tmp, path)


# ---- the source scene


class Scene:
    """The photo, resampled to the set's scale as float RGB (0..255), continued mirrored to
    the right; column x of the canvas is column index[x] of the band."""

    def __init__(self, photo, canvas_w, canvas_h, centre, scale=None, period=None):
        img = Image.open(os.path.join(PHOTO_DIR, photo)).convert("RGB")
        pw, ph = img.size
        if period is not None:
            # Mirrored once, the band repeats every 2 band widths: a seamless full circle.
            band_w = period // 2
            scale = band_w / pw
        else:
            if scale is None:
                scale = max(canvas_h / ph, min(canvas_w / pw, MAX_UPSCALE))
            scale = max(scale, canvas_h / ph)
            band_w = int(pw * scale)
        band_h = canvas_h
        src_h = band_h / scale
        if src_h > ph:
            sys.exit("photo %s too small for a %d-row canvas at scale %.2f" % (photo, canvas_h, scale))
        top = min(max(centre * ph - src_h / 2, 0.0), ph - src_h)
        box = (0.0, top, band_w / scale, top + src_h)
        # Per channel in floating point, so that the 16-bit sets get real 16-bit gradations.
        planes = [np.asarray(ch.convert("F").resize((band_w, band_h), Image.LANCZOS, box=box), dtype=np.float32)
                  for ch in img.split()]
        self.band = np.clip(np.stack(planes, axis=2), 0.0, 255.0)
        period2 = 2 * band_w
        x = np.arange(max(canvas_w, 1), dtype=np.int64) % period2
        self.index = np.where(x < band_w, x, period2 - 1 - x)
        self.scale = scale

    def cut(self, x, y, w, h):
        cols = self.index[np.arange(x, x + w) % len(self.index)] if x + w > len(self.index) else self.index[x:x + w]
        return self.band[y:y + h][:, cols, :]


# ---- one set


def placement_args(offsets, paths):
    """quiltmerge's words for tiles at offsets: -xoff/-yoff only where the offset changes."""
    args = []
    cur = (0, 0)
    for (x, y), path in zip(offsets, paths):
        if x != cur[0]:
            args += ["-xoff", str(x)]
        if y != cur[1]:
            args += ["-yoff", str(y)]
        cur = (x, y)
        args.append(path)
    return args


def make_set(name, outdir, log):
    conf = SETS[name]
    w, h = conf["size"]
    cols, rows = conf["grid"]
    nominal = row_layout(cols, w, h, rows)
    rng = np.random.default_rng(sum(map(ord, name)) * 7919)  # str hash() is salted per process
    wrap = conf.get("wrap", False)
    period = cols * step_for(w) if wrap else None

    # First tile anchors the canvas at (0, 0); the others move down by 0..JITTER rows.
    offsets = []
    for i, (x, y) in enumerate(nominal):
        offsets.append((x, y + (0 if i == 0 else int(rng.integers(0, JITTER + 1)))))
    canvas_w = period if wrap else max(x + w for x, _ in offsets)
    canvas_h = max(y + h for _, y in offsets)
    scene = Scene(conf["photo"], period if wrap else canvas_w, canvas_h, conf["centre"], conf.get("scale"), period)

    variants = [(name, 8)]
    if conf.get("twin16"):
        variants.append((conf["twin16"], 16))
    folders = {}
    for vname, _ in variants:
        folders[vname] = os.path.join(outdir, vname)
        os.makedirs(folders[vname], exist_ok=True)
        for f in os.listdir(folders[vname]):
            if f.endswith(".tif"):
                os.remove(os.path.join(folders[vname], f))

    for i, (x, y) in enumerate(offsets):
        # A few per cent of exposure, alternating so that neighbours always differ, a touch
        # of colour cast, and sensor noise.
        gain = 1.0 + (1 if i % 2 else -1) * float(rng.uniform(0.02, 0.06))
        cast = 1.0 + rng.uniform(-0.01, 0.01, size=3).astype(np.float32)
        tile = scene.cut(x, y, w, h) * (np.float32(gain) * cast)
        tile += rng.standard_normal(tile.shape, dtype=np.float32) * np.float32(1.2)
        np.clip(tile, 0.0, 255.0, out=tile)
        for vname, bits in variants:
            if bits == 8:
                pixels = np.rint(tile).astype(np.uint8)
                opaque = 255
            else:
                pixels = np.rint(tile * np.float32(257.0)).astype(np.uint16)
                opaque = 65535
            folder = folders[vname]
            write_tiff(os.path.join(folder, "tile_%02d.tif" % i), pixels)
            rgba = np.empty((h, w, 4), dtype=pixels.dtype)
            rgba[:, :, :3] = pixels
            rgba[:, :, 3] = opaque
            if wrap and x + w > period:
                # enblend's canvas is exactly one period: the part past it goes to the left end.
                layer = np.zeros((h, period, 4), dtype=pixels.dtype)
                inside = period - x
                layer[:, x:] = rgba[:, :inside]
                layer[:, : w - inside] = rgba[:, inside:]
                write_tiff(os.path.join(folder, "layer_%02d.tif" % i), layer, (0, y), (canvas_w, canvas_h), True)
            else:
                write_tiff(os.path.join(folder, "layer_%02d.tif" % i), rgba, (x, y), (canvas_w, canvas_h), True)
        del tile

    for vname, bits in variants:
        folder = folders[vname]
        args = ["-HorWrap", str(period)] if wrap else []
        args += placement_args(offsets, [os.path.join(folder, "tile_%02d.tif" % i) for i in range(len(offsets))])
        with open(os.path.join(folder, "args.txt"), "w") as f:
            f.write("\n".join(args) + "\n")
        eargs = (["--wrap=horizontal"] if wrap else []) + [
            os.path.join(folder, "layer_%02d.tif" % i) for i in range(len(offsets))]
        with open(os.path.join(folder, "enblend_args.txt"), "w") as f:
            f.write("\n".join(eargs) + "\n")
        out_w = period if wrap else canvas_w
        with open(os.path.join(folder, "set.txt"), "w") as f:
            f.write("tiles=%d tile=%dx%d bits=%d canvas=%dx%d mpix=%.1f photo=%s scale=%.2f%s\n" % (
                len(offsets), w, h, bits, out_w, canvas_h, out_w * canvas_h / 1e6, conf["photo"], scene.scale,
                " wrap=%d" % period if wrap else ""))
        log("%-9s %2d tiles %dx%d, %2d-bit, canvas %dx%d (%.1f MP)%s" % (
            vname, len(offsets), w, h, bits, out_w, canvas_h, out_w * canvas_h / 1e6,
            ", -HorWrap %d" % period if wrap else ""))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("outdir", nargs="?", default="/tmp/qm-bench")
    parser.add_argument("--sets", default=",".join(ALL_SETS), help="comma-separated, default all")
    opts = parser.parse_args()
    outdir = os.path.abspath(opts.outdir)
    wanted = [s for s in opts.sets.split(",") if s]
    for s in wanted:
        if s not in ALL_SETS:
            sys.exit("unknown set %s (known: %s)" % (s, ", ".join(ALL_SETS)))
    # The 16-bit twin is made together with its 8-bit set, from the same tiles.
    todo = [s for s in SETS if s in wanted or SETS[s].get("twin16") in wanted]
    os.makedirs(outdir, exist_ok=True)
    start = time.monotonic()
    for s in todo:
        t0 = time.monotonic()
        make_set(s, outdir, lambda msg: print(msg, flush=True))
        print("%-9s generated in %.1f s" % (s, time.monotonic() - t0), flush=True)
    print("all sets in %s generated in %.1f s" % (outdir, time.monotonic() - start))


if __name__ == "__main__":
    main()
