#!/usr/bin/python3
"""Generates the benchmark input sets: tiles cut at known offsets from the shared photos.

Usage: bench/make_sets.py [--sets a,b,...] [OUTDIR]   (default /tmp/qm-bench)
       bench/make_sets.py --sets grid11 [--truth auto|on|off] [--jobs N] [OUTDIR]
       bench/make_sets.py --grid 5x7 [--tile 2048] [--overlap 205] [--jitter 4] [--name N] [OUTDIR]

Every set gets its own folder OUTDIR/SET with
  tile_NN.tif        RGB TIFF (8 or 16 bits), the quiltmerge inputs
  layer_NN.tif       RGBA TIFF with XPOSITION/YPOSITION and the full canvas size, for enblend
  args.txt           quiltmerge's argument list, one word per line
  enblend_args.txt   enblend's inputs (and options), one word per line
  set.txt            what the set is, for the reports
The grid mosaics (grid3, grid11, grid22, grid44, or any --grid) are made only on request: their
tiles tile_NNNN.tif carry the position tags themselves (no layer files), multiblend_args.txt
lists them, truth.json records the true gains and vignetting and truth.tif (optional) holds the
untouched scene; see make_grid_set.
Output is deterministic: the seeds are fixed and the photos never change.
Needs python3-pil and python3-numpy.
"""
import argparse
import json
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


# ---- grid mosaics: a microscope's stage scanning a slide row by row

GRID_TILE = (2048, 2048)
GRID_OVERLAP = 205
GRID_JITTER = 4  # stage error, -4..4 px in x and in y, independently per tile
GRID_GAIN = 0.055  # per-tile exposure, within +-5.5 %
GRID_CAST = 0.02  # per channel on top of it, within +-2 %: every channel gain within +-8 %
# Vignetting shared by all tiles: v(r) = 1 + a r^2 + b r^4, r = distance of the pixel centre
# from the tile centre over the half-diagonal; v(1) = 0.78 leaves the corners 22 % darker.
GRID_VIGNETTE = (-0.12, -0.10)
# Sensor noise in 8-bit units: sigma^2 = read^2 + shot * value (read noise plus photon noise).
GRID_READ_NOISE = 1.0
GRID_SHOT_NOISE = 0.02
# A canvas-sized truth.tif is written by default only up to this many pixels.
TRUTH_DEFAULT_LIMIT = 0.5e9

# Not in ALL_SETS: 11x11 is 1.5 GB of tiles and 44x44 24 GB; ask for them with --sets.
GRID_SETS = {
    "grid3": dict(rows=3, cols=3, tile=(1024, 1024)),
    "grid11": dict(rows=11, cols=11),
    "grid22": dict(rows=22, cols=22),
    "grid44": dict(rows=44, cols=44),
}


class MirroredScene:
    """The photo resampled once to 8-bit RGB and continued mirrored in both directions, a plane
    without breaks: canvas pixel (x, y) is block pixel (fold(x + ox), fold(y + oy)). Only the
    block (at most the photo at MAX_UPSCALE, 305 MB) is held, never the canvas."""

    def __init__(self, photo, canvas_w, canvas_h, scale=None):
        img = Image.open(os.path.join(PHOTO_DIR, photo)).convert("RGB")
        pw, ph = img.size
        if scale is None:
            scale = min(MAX_UPSCALE, max(canvas_w / pw, canvas_h / ph))
        self.scale = scale
        bw, bh = max(1, int(round(pw * scale))), max(1, int(round(ph * scale)))
        self.block = np.asarray(img.resize((bw, bh), Image.LANCZOS))
        # A canvas smaller than the block shows its middle.
        self.ox, self.oy = max(0, (bw - canvas_w) // 2), max(0, (bh - canvas_h) // 2)

    @staticmethod
    def _fold(start, n, size):
        m = np.arange(start, start + n, dtype=np.int64) % (2 * size)
        index = np.where(m < size, m, 2 * size - 1 - m)
        # Inside one copy the run is a plain slice, which numpy takes far faster.
        if n > 1 and np.all(np.diff(index) == 1):
            return slice(int(index[0]), int(index[-1]) + 1)
        if n > 1 and np.all(np.diff(index) == -1):
            return slice(int(index[0]), int(index[-1]) - 1 if index[-1] > 0 else None, -1)
        return index

    def cut(self, x, y, w, h):
        bh, bw = self.block.shape[:2]
        rows = self._fold(self.oy + y, h, bh)
        cols = self._fold(self.ox + x, w, bw)
        if isinstance(rows, slice):
            return np.ascontiguousarray(self.block[rows][:, cols])
        if isinstance(cols, slice):
            return np.ascontiguousarray(self.block[:, cols][rows])
        return self.block[np.ix_(rows, cols)]


def vignette(w, h, a, b):
    yy, xx = np.mgrid[0:h, 0:w].astype(np.float64)
    r2 = ((xx + 0.5 - w / 2.0) ** 2 + (yy + 0.5 - h / 2.0) ** 2) / ((w / 2.0) ** 2 + (h / 2.0) ** 2)
    return (1.0 + a * r2 + b * r2 * r2).astype(np.float32)


# What the tile writers share; worker processes inherit it through fork.
_grid = None


def _grid_tile(i):
    g = _grid
    x, y = g["offsets"][i]
    w, h = g["tile"]
    tile = g["scene"].cut(x, y, w, h).astype(np.float32)
    tile *= g["vignette"][:, :, None]
    tile *= g["gains"][i]
    # One generator per tile: the same bytes whatever the number or order of workers.
    rng = np.random.default_rng([g["seed"], i])
    sigma = tile * np.float32(GRID_SHOT_NOISE)
    sigma += np.float32(GRID_READ_NOISE ** 2)
    np.sqrt(sigma, out=sigma)
    sigma *= rng.standard_normal(tile.shape, dtype=np.float32)
    tile += sigma
    del sigma
    np.rint(tile, out=tile)
    np.clip(tile, 0.0, 255.0, out=tile)
    write_tiff(os.path.join(g["folder"], g["names"][i]), tile.astype(np.uint8), (x, y), g["canvas"])
    return i


def grid_conf(name, rows, cols, tile=GRID_TILE, overlap=GRID_OVERLAP, jitter=GRID_JITTER, photo="life.jpg",
              scale=None):
    return dict(name=name, rows=rows, cols=cols, tile=tuple(tile), overlap=overlap, jitter=jitter, photo=photo,
                scale=scale)


def make_grid_set(conf, outdir, log, truth="auto", jobs=1):
    """Tiles tile_NNNN.tif (8-bit RGB, row by row) at their offsets, which are also in their
    XPOSITION/YPOSITION tags (150 dpi) with the canvas in the PIXAR full-size tags, so the same
    files serve quiltmerge (args.txt) and multiblend, which places TIFF layers by those tags. truth.json holds every tile's true gains and the vignetting; truth.tif, if
    written, the scene without gain, vignetting or noise on the whole canvas."""
    global _grid
    name = conf["name"]
    rows, cols = conf["rows"], conf["cols"]
    w, h = conf["tile"]
    overlap, jitter = conf["overlap"], conf["jitter"]
    rng = np.random.default_rng(sum(map(ord, name)) * 7919)
    step_x, step_y = w - overlap, h - overlap
    moves = rng.integers(-jitter, jitter + 1, size=(rows * cols, 2))
    placed = [(c * step_x + int(moves[r * cols + c][0]), r * step_y + int(moves[r * cols + c][1]))
              for r in range(rows) for c in range(cols)]
    x0, y0 = min(x for x, _ in placed), min(y for _, y in placed)
    offsets = [(x - x0, y - y0) for x, y in placed]
    canvas_w = max(x + w for x, _ in offsets)
    canvas_h = max(y + h for _, y in offsets)
    base = rng.uniform(-GRID_GAIN, GRID_GAIN, size=(rows * cols, 1))
    cast = rng.uniform(-GRID_CAST, GRID_CAST, size=(rows * cols, 3))
    gains = ((1.0 + base) * (1.0 + cast)).astype(np.float32)

    folder = os.path.join(outdir, name)
    os.makedirs(folder, exist_ok=True)
    for f in os.listdir(folder):
        if f.endswith(".tif") or f.endswith(".part"):
            os.remove(os.path.join(folder, f))
    digits = max(4, len(str(rows * cols - 1)))
    names = ["tile_%0*d.tif" % (digits, i) for i in range(rows * cols)]
    scene = MirroredScene(conf["photo"], canvas_w, canvas_h, conf["scale"])
    a, b = GRID_VIGNETTE
    _grid = dict(offsets=offsets, tile=(w, h), scene=scene, vignette=vignette(w, h, a, b), gains=gains,
                 seed=sum(map(ord, name)) * 7919 + 1, folder=folder, names=names, canvas=(canvas_w, canvas_h))
    t0 = time.monotonic()
    n = rows * cols
    shown = 0 if n >= 20 else 10  # progress lines only where they help
    if jobs > 1:
        import multiprocessing
        with multiprocessing.get_context("fork").Pool(jobs) as pool:
            for done, _ in enumerate(pool.imap_unordered(_grid_tile, range(n)), 1):
                if done * 10 // n > shown:
                    shown = done * 10 // n
                    log("%s: %d/%d tiles, %.0f s" % (name, done, n, time.monotonic() - t0))
    else:
        for i in range(n):
            _grid_tile(i)
            if (i + 1) * 10 // n > shown:
                shown = (i + 1) * 10 // n
                log("%s: %d/%d tiles, %.0f s" % (name, i + 1, n, time.monotonic() - t0))

    want_truth = truth == "on" or (truth == "auto" and canvas_w * canvas_h <= TRUTH_DEFAULT_LIMIT)
    if want_truth:
        band = max(1, (64 << 20) // (canvas_w * 3))
        write_tiff_bands(os.path.join(folder, "truth.tif"), canvas_w, canvas_h, 3, np.uint8,
                         (scene.cut(0, y, canvas_w, min(band, canvas_h - y)) for y in range(0, canvas_h, band)))
    _grid = None

    paths = [os.path.join(folder, f) for f in names]
    with open(os.path.join(folder, "args.txt"), "w") as f:
        f.write("\n".join(placement_args(offsets, paths)) + "\n")
    # enblend wants an alpha channel and refuses these tiles; multiblend takes RGB as opaque.
    with open(os.path.join(folder, "multiblend_args.txt"), "w") as f:
        f.write("\n".join(paths) + "\n")
    truth_doc = dict(
        set=name, rows=rows, cols=cols, tile=[w, h], overlap=overlap, jitter=jitter, canvas=[canvas_w, canvas_h],
        photo=conf["photo"], scale=scene.scale, truth_tif="truth.tif" if want_truth else None,
        model="tile = clip(rint(scene * gain[c] * v(r) + noise)), scene = truth.tif at the tile's offset",
        vignetting=dict(formula="v(r) = 1 + a*r^2 + b*r^4", a=a, b=b,
                        r="distance of the pixel centre from the tile centre / half the tile diagonal"),
        noise=dict(formula="gaussian, sigma = sqrt(read^2 + shot * value)", read=GRID_READ_NOISE,
                   shot=GRID_SHOT_NOISE),
        tiles=[dict(file=names[i], row=i // cols, col=i % cols, x=offsets[i][0], y=offsets[i][1],
                    gain=[round(float(v), 6) for v in gains[i]]) for i in range(n)])
    with open(os.path.join(folder, "truth.json"), "w") as f:
        json.dump(truth_doc, f, indent=1)
        f.write("\n")
    with open(os.path.join(folder, "set.txt"), "w") as f:
        f.write("tiles=%d tile=%dx%d bits=8 canvas=%dx%d mpix=%.1f photo=%s scale=%.2f grid=%dx%d overlap=%d\n" % (
            n, w, h, canvas_w, canvas_h, canvas_w * canvas_h / 1e6, conf["photo"], scene.scale, rows, cols, overlap))
    log("%-9s %d tiles %dx%d (%d x %d, overlap %d), 8-bit, canvas %dx%d (%.1f MP)%s" % (
        name, n, w, h, rows, cols, overlap, canvas_w, canvas_h, canvas_w * canvas_h / 1e6,
        ", truth.tif" if want_truth else ""))


def parse_size(text, what):
    parts = text.lower().split("x")
    try:
        values = [int(v) for v in parts]
    except ValueError:
        values = []
    if len(values) not in (1, 2) or min(values) <= 0:
        sys.exit("%s: expected N or NxM, got %r" % (what, text))
    return values * 2 if len(values) == 1 else values


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("outdir", nargs="?", default="/tmp/qm-bench")
    parser.add_argument("--sets", default=",".join(ALL_SETS),
                        help="comma-separated, default all but the grid mosaics (%s)" % ", ".join(GRID_SETS))
    parser.add_argument("--grid", metavar="ROWSxCOLS", help="make a grid mosaic of this many tiles (with --sets: besides them)")
    parser.add_argument("--tile", metavar="W[xH]", default="%dx%d" % GRID_TILE, help="its tile size")
    parser.add_argument("--overlap", type=int, default=GRID_OVERLAP, help="its overlap in pixels")
    parser.add_argument("--jitter", type=int, default=GRID_JITTER, help="its stage jitter, +-N pixels")
    parser.add_argument("--name", help="its folder (default mosaic_ROWSxCOLS_WxH_oOVERLAP)")
    parser.add_argument("--truth", choices=("auto", "on", "off"), default="auto",
                        help="grid mosaics: write truth.tif (auto: canvases up to %.1f GP)" % (TRUTH_DEFAULT_LIMIT / 1e9))
    parser.add_argument("--jobs", type=int, default=1, help="grid mosaics: tiles made in N processes at once")
    opts = parser.parse_args()
    outdir = os.path.abspath(opts.outdir)
    wanted = [s for s in opts.sets.split(",") if s]
    if opts.grid and opts.sets == parser.get_default("sets"):
        wanted = []
    for s in wanted:
        if s not in ALL_SETS and s not in GRID_SETS:
            sys.exit("unknown set %s (known: %s)" % (s, ", ".join(ALL_SETS + list(GRID_SETS))))
    grids = [grid_conf(s, **GRID_SETS[s]) for s in GRID_SETS if s in wanted]
    if opts.grid:
        rows, cols = parse_size(opts.grid, "--grid")
        tile = parse_size(opts.tile, "--tile")
        if not 0 <= opts.overlap < min(tile) or opts.jitter < 0:
            sys.exit("--overlap must lie in 0..tile size - 1 and --jitter be at least 0")
        name = opts.name or "mosaic_%dx%d_%dx%d_o%d" % (rows, cols, tile[0], tile[1], opts.overlap)
        grids.append(grid_conf(name, rows, cols, tile, opts.overlap, opts.jitter))
    # The 16-bit twin is made together with its 8-bit set, from the same tiles.
    todo = [s for s in SETS if s in wanted or SETS[s].get("twin16") in wanted]
    os.makedirs(outdir, exist_ok=True)
    start = time.monotonic()
    log = lambda msg: print(msg, flush=True)
    for s in todo:
        t0 = time.monotonic()
        make_set(s, outdir, log)
        print("%-9s generated in %.1f s" % (s, time.monotonic() - t0), flush=True)
    for conf in grids:
        t0 = time.monotonic()
        make_grid_set(conf, outdir, log, opts.truth, max(1, opts.jobs))
        print("%-9s generated in %.1f s" % (conf["name"], time.monotonic() - t0), flush=True)
    print("all sets in %s generated in %.1f s" % (outdir, time.monotonic() - start))


if __name__ == "__main__":
    main()
