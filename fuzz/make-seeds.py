#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into corpus/<target>/ (seed-* files only; the
regression-* files beside them are kept). Run from anywhere; the output is deterministic."""
import pathlib
import struct
import zlib

HERE = pathlib.Path(__file__).resolve().parent


def bmp(info_size=40, width=64, height=48, compression=0, ppm=3780):
    if info_size == 12:
        info = struct.pack("<IHHHH", 12, width, height, 1, 24)
    else:
        info = struct.pack("<IiiHHIIiiII", info_size, width, height, 1, 24, compression, 0,
                           ppm, ppm, 0, 0)
        info += bytes(info_size - 40)
    return b"BM" + struct.pack("<IHHI", 14 + len(info), 0, 0, 14 + len(info)) + info


def segment(code, payload):
    return bytes([0xFF, code]) + struct.pack(">H", len(payload) + 2) + payload


def app0(units=1, density=300, identifier=b"JFIF\0\x01\x01"):
    return segment(0xE0, identifier + bytes([units]) + struct.pack(">HHBB", density, density,
                                                                     0, 0))


def exif(big_endian=True, orientation=6, resolution=(300, 1), unit=2):
    e = ">" if big_endian else "<"
    entries = [(274, 3, 1, struct.pack(e + "HH", orientation, 0)),
               (282, 5, 1, struct.pack(e + "I", 8 + 2 + 3 * 12 + 4)),
               (296, 3, 1, struct.pack(e + "HH", unit, 0))]
    tiff = (b"MM" if big_endian else b"II") + struct.pack(e + "HI", 42, 8)
    tiff += struct.pack(e + "H", len(entries))
    for tag, kind, count, value in entries:
        tiff += struct.pack(e + "HHI", tag, kind, count) + value
    tiff += struct.pack(e + "I", 0) + struct.pack(e + "II", *resolution)
    return segment(0xE1, b"Exif\0\0" + tiff)


def rich_exif_tiff(big_endian=True, orientation=6):
    """IFD0 with resolution, an Exif IFD with the pixel sizes, a GPS IFD and a thumbnail IFD."""
    e = ">" if big_endian else "<"

    def ifd(entries, next_ifd):
        out = struct.pack(e + "H", len(entries))
        for tag, kind, count, value in entries:
            out += struct.pack(e + "HHI", tag, kind, count) + value
        return out + struct.pack(e + "I", next_ifd)

    short = lambda v: struct.pack(e + "HH", v, 0)
    long_ = lambda v: struct.pack(e + "I", v)
    ifd0 = ifd([(274, 3, 1, short(orientation)), (282, 5, 1, long_(86)), (283, 5, 1, long_(94)),
                (296, 3, 1, short(2)), (34665, 4, 1, long_(102)), (34853, 4, 1, long_(132))], 162)
    rationals = struct.pack(e + "IIII", 72, 1, 72, 1)
    exif_ifd = ifd([(40962, 4, 1, long_(4000)), (40963, 4, 1, long_(3000))], 0)
    gps_ifd = ifd([(0, 1, 4, bytes([2, 2, 0, 0])), (1, 2, 2, b"N\0\0\0")], 0)
    ifd1 = ifd([(513, 4, 1, long_(192)), (514, 4, 1, long_(4))], 0)
    tiff = (b"MM" if big_endian else b"II") + struct.pack(e + "HI", 42, 8)
    tiff += ifd0 + rationals + exif_ifd + gps_ifd + ifd1 + b"\xFF\xD8\xFF\xD9"
    assert len(tiff) == 196
    return tiff


def icc_chunks(colour_space=b"RGB ", parts=2):
    profile = struct.pack(">I", 128) + bytes(12) + colour_space + bytes(108)
    step = -(-len(profile) // parts)
    return b"".join(segment(0xE2, b"ICC_PROFILE\0" + bytes([i + 1, parts]) +
                            profile[i * step:(i + 1) * step]) for i in range(parts))


def profile_bytes(colour_space=b"RGB "):
    return struct.pack(">I", 132) + bytes(12) + colour_space + bytes(16) + b"acsp" + bytes(92)


XMP = (b"<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'>"
       b"<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
       b"xmlns:exif='http://ns.adobe.com/exif/1.0/' xmlns:tiff='http://ns.adobe.com/tiff/1.0/' "
       b"xmlns:photoshop='http://ns.adobe.com/photoshop/1.0/' exif:GPSLatitude='35,6N' "
       b"tiff:ImageWidth='64'><photoshop:City>Kyoto</photoshop:City><tiff:XResolution>72/1"
       b"</tiff:XResolution><!-- c --></rdf:Description></rdf:RDF></x:xmpmeta>"
       b"<?xpacket end='w'?>")


def photoshop_resources():
    def resource(ident, data):
        return (b"8BIM" + struct.pack(">HBBI", ident, 0, 0, len(data)) + data +
                bytes(len(data) & 1))

    def dataset(number, text):
        return bytes([0x1C, 2, number]) + struct.pack(">H", len(text)) + text

    iptc = dataset(5, b"Temple") + dataset(90, b"Kyoto") + dataset(101, b"Japan") + \
        bytes([0x1C, 2, 120, 0x80, 0x02, 0, 1, 0x41])
    return (resource(0x03ED, struct.pack(">IHHIHH", 72 << 16, 1, 1, 72 << 16, 1, 1)) +
            resource(0x0404, iptc) + resource(0x040C, b"thumb") + resource(0x0425, bytes(16)))


def tiff_with_bytes(fields):
    """Little-endian TIFF whose IFD0 holds `fields` as (tag, bytes) of type UNDEFINED."""
    values_at = 8 + 2 + 12 * len(fields) + 4
    out = b"II" + struct.pack("<HI", 42, 8) + struct.pack("<H", len(fields))
    values = b""
    for tag, data in fields:
        out += struct.pack("<HHII", tag, 7, len(data), values_at + len(values))
        values += data + bytes(len(data) & 1)
    return out + struct.pack("<I", 0) + values


def frame(code=0xC0, width=64, height=48):
    return segment(code, struct.pack(">BHHB", 8, height, width, 3) + bytes(9))


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png(width=64, height=48, phys=None, before_idat=b"", after_idat=b""):
    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0,
                                                                 0, 0))
    if phys is not None:
        out += chunk(b"pHYs", struct.pack(">IIB", phys[0], phys[0], phys[1]))
    out += before_idat + chunk(b"IDAT", zlib.compress(bytes(4 * height)))
    return out + after_idat + chunk(b"IEND", b"")


def tiff(big_endian=False, fields=(), data=16):
    """Classic TIFF: header, strip data, IFD0 with `fields` as (tag, type, values) in that order
    (values too long for the entry follow it), next-IFD link 0."""
    e = ">" if big_endian else "<"
    ifd = 8 + data + (data & 1)
    out = (b"MM" if big_endian else b"II") + struct.pack(e + "HI", 42, ifd) + bytes(ifd - 8)
    out += struct.pack(e + "H", len(fields))
    values_at = ifd + 2 + 12 * len(fields) + 4
    values = b""
    for tag, kind, numbers in fields:
        packed = b"".join(struct.pack(e + ("H" if kind == 3 else "I"), n) for n in numbers)
        count = len(numbers) // 2 if kind == 5 else len(numbers)
        out += struct.pack(e + "HHI", tag, kind, count)
        if len(packed) <= 4:
            out += packed + bytes(4 - len(packed))
        else:
            out += struct.pack(e + "I", values_at + len(values))
            values += packed
    return out + struct.pack(e + "I", 0) + values


def tiff_fields(size_type=3, resolution=(300, 1), unit=2, orientation=None):
    fields = [(256, size_type, [64]), (257, size_type, [48])]
    if orientation is not None:
        fields.append((274, 3, [orientation]))
    if resolution is not None:
        fields += [(282, 5, list(resolution)), (283, 5, list(resolution))]
    if unit is not None:
        fields.append((296, 3, [unit]))
    return fields


SCAN_END = segment(0xDA, bytes([3, 1, 0, 2, 0x11, 3, 0x11, 0, 0x3F, 0])) + bytes(
    [0x12, 0x34, 0xFF, 0x00, 0x56]) + b"\xFF\xD9"
SOI = b"\xFF\xD8"

IMAGES = {
    "bmp-info40": bmp(),
    "bmp-core12": bmp(info_size=12),
    "bmp-v4": bmp(info_size=108, ppm=11811),
    "bmp-v5-topdown": bmp(info_size=124, height=-48),
    "bmp-rle": bmp(compression=1),
    "bmp-negative-ppm": bmp(ppm=-1),
    "jpeg-jfif-dpi": SOI + app0() + frame() + SCAN_END,
    "jpeg-jfif-dpcm": SOI + app0(units=2, density=118) + frame(0xC2) + SCAN_END,
    "jpeg-jfif-aspect": SOI + app0(units=0, density=1) + frame(0xC1) + SCAN_END,
    "jpeg-exif-be": SOI + exif() + frame(width=640, height=480) + SCAN_END,
    "jpeg-exif-le": SOI + exif(False, 8, (72, 1)) + frame(0xC3) + SCAN_END,
    "jpeg-jfif-exif": SOI + app0(units=0, density=0) + exif(True, 3, (600, 2), 3) +
                      segment(0xDB, bytes(65)) + frame() + SCAN_END,
    "jpeg-padded-markers": SOI + b"\xFF\xFF" + app0() + segment(0xFE, b"comment") + frame() +
                           SCAN_END,
    "jpeg-truncated": (SOI + app0() + frame())[:20],
    "png-phys-inch": png(phys=(11811, 1)),
    "png-phys-unit0": png(phys=(3, 0)),
    "png-no-phys": png(before_idat=chunk(b"tEXt", b"k\0v")),
    "png-phys-after-idat": png(after_idat=chunk(b"pHYs", struct.pack(">IIB", 3780, 3780, 1))),
    "png-exif-orientation": png(phys=(2835, 1),
                                before_idat=chunk(b"eXIf", tiff(True, [(274, 3, [6])], 0))),
    "tiff-le-short": tiff(False, tiff_fields()),
    "tiff-be-long-cm": tiff(True, tiff_fields(4, (118, 1), 3, 6)),
    "tiff-le-no-resolution": tiff(False, tiff_fields(3, None, None, 8)),
    "tiff-be-resolution-no-unit": tiff(True, tiff_fields(3, (7200, 100), None)),
}

CSV = {
    "default": (HERE.parent / "resources" / "KVPreset.csv").read_bytes(),
    "quoted": b'"a ""quoted"" name, with comma",100,200,300\n"two\nlines",32,32,0\r\n',
    "line-ends": b"plain,64,64,72\rcr only,65535,65535,10000\r\nlast,33,34,35",
    "rejected": b"\n,1,2,3\nsmall,31,32,0\nbig,32,65536,10001\nfew,1\n-1,-2,-3,-4\n",
    "out-of-range": b"huge,99999999999,2,3\nlead,12abc, 40,+50\n",
    "long-field": b'"' + b"x" * 1100 + b'",100,100,100\n',
    "open-quote": b'"never closed,1,2,3\n',
}

OPTIONS_ALL = ("Mode=1\nIP=0\nHoldAspect=1\nCrop=8\nSpR=0\nSpG=128\nSpB=255\nApplySizeX=0\n"
               "ApplySizeY=0\nApplyDPI=0\nSizeX=32\nSizeY=65535\nDPI=0\nPreset=1\nFormat=1\n"
               "JQ=100\nFolder=/home/u/\u51fa\u529b\n")
OPTIONS = {
    "all-values": (2, "[Settings]\n" + OPTIONS_ALL),
    "no-presets": (0, "[Settings]\nPreset=0\nIP=4\n"),
    "out-of-range": (3, "[Settings]\nIP=-1\nCrop=9\nSpR=256\nSizeX=31\nSizeY=65536\n"
                        "DPI=10001\nPreset=3\nJQ=101\n"),
    "not-numbers": (1, "[Settings]\nIP=abc\nSizeX=12x\nDPI=\nJQ=1,2\nFolder=a,b\n"),
    "quoted-escapes": (5, '[Settings]\nFolder="/tmp/a b;c"\nSizeX=0x20\nMode=\\x31\n'
                          "; comment\nDPI = 72 \n"),
    "other-groups": (1, "[General]\nIP=1\n[Settings]\nIP=2\n[Other]\nIP=3\n"),
    "variant": (1, "[Settings]\nIP=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x1)\n"
                   "Folder=@String(/x)\n"),
    "percent-keys": (1, "[%53ettings]\n%49P=1\nFolder=%U00E9\n"),
    "crlf": (2, "[Settings]\r\nIP=3\r\nFolder=/data\r\n"),
}


def s15(value):
    return struct.pack(">i", round(value * 65536))


def icc(space, tags):
    """An ICC profile of version 2.1: header, tag table, tag data, each tag 4-byte aligned."""
    table = b""
    data = b""
    at = 128 + 4 + 12 * len(tags)
    for signature, body in tags:
        table += signature + struct.pack(">II", at + len(data), len(body))
        data += body + bytes(-len(body) % 4)
    size = at + len(data)
    header = struct.pack(">I", size) + bytes(4) + bytes([2, 0x10, 0, 0]) + b"mntr" + space + \
        b"XYZ " + bytes(12) + b"acsp" + bytes(24) + bytes(4) + s15(0.9642) + s15(1.0) + \
        s15(0.8249) + bytes(48)
    assert len(header) == 128
    return header + struct.pack(">I", len(tags)) + table + data


def xyz(x, y, z):
    return b"XYZ " + bytes(4) + s15(x) + s15(y) + s15(z)


def gamma(value):
    return b"curv" + bytes(4) + struct.pack(">IH", 1, round(value * 256))


def rgb_profile(g=1.8):
    """A matrix-and-curve RGB profile: wide primaries, so that colours move into sRGB."""
    curve = gamma(g)
    return icc(b"RGB ", [(b"wtpt", xyz(0.9642, 1.0, 0.8249)), (b"rXYZ", xyz(0.7977, 0.2880, 0.0)),
                         (b"gXYZ", xyz(0.1352, 0.7119, 0.0)), (b"bXYZ", xyz(0.0313, 0.0001, 0.8249)),
                         (b"rTRC", curve), (b"gTRC", curve), (b"bTRC", curve)])


def grey_profile(g=1.8):
    return icc(b"GRAY", [(b"wtpt", xyz(0.9642, 1.0, 0.8249)), (b"kTRC", gamma(g))])


def pixel_tiff(width, height, samples, bits, photometric, pixels, extra=(), planar=1, profile=b""):
    """Little-endian uncompressed TIFF in one strip, pixels before the IFD, and a profile."""
    fields = [(256, 3, [width]), (257, 3, [height]), (258, 3, [bits] * samples),
              (259, 3, [1]), (262, 3, [photometric]), (273, 4, [8]), (277, 3, [samples]),
              (278, 3, [height]), (279, 4, [len(pixels)]), (284, 3, [planar])]
    if extra:
        fields.append((338, 3, list(extra)))
    ifd = 8 + len(pixels) + (len(pixels) & 1)
    out = b"II" + struct.pack("<HI", 42, ifd) + pixels + bytes(len(pixels) & 1)
    entries = len(fields) + (1 if profile else 0)
    values_at = ifd + 2 + 12 * entries + 4
    values = b""
    out += struct.pack("<H", entries)
    for tag, kind, numbers in fields:
        packed = b"".join(struct.pack("<" + ("H" if kind == 3 else "I"), n) for n in numbers)
        out += struct.pack("<HHI", tag, kind, len(numbers))
        if len(packed) <= 4:
            out += packed + bytes(4 - len(packed))
        else:
            out += struct.pack("<I", values_at + len(values))
            values += packed
    if profile:
        out += struct.pack("<HHII", 34675, 7, len(profile), values_at + len(values))
        values += profile
    return out + struct.pack("<I", 0) + values


def ramp(count, bits):
    if bits == 16:
        return b"".join(struct.pack("<H", (i * 4099) % 65536) for i in range(count))
    return bytes((i * 37) % 256 for i in range(count))


def colour_seeds():
    w, h = 6, 4
    return {
        "cmyk8": bytes([0]) + pixel_tiff(w, h, 4, 8, 5, ramp(w * h * 4, 8)),
        "cmyk16-planar": bytes([0]) + pixel_tiff(w, h, 4, 16, 5, ramp(w * h * 4, 16), planar=2),
        "cmyka8": bytes([0]) + pixel_tiff(w, h, 5, 8, 5, ramp(w * h * 5, 8), extra=[2]),
        "cmyk8-rgb-profile": bytes([0]) + pixel_tiff(w, h, 4, 8, 5, ramp(w * h * 4, 8),
                                                     profile=rgb_profile()),
        "rgb8-profile": bytes([0]) + pixel_tiff(w, h, 3, 8, 2, ramp(w * h * 3, 8),
                                                profile=rgb_profile()),
        "rgb16-profile": bytes([0]) + pixel_tiff(w, h, 3, 16, 2, ramp(w * h * 3, 16),
                                                 profile=rgb_profile(2.2)),
        "grey8-profile": bytes([0]) + pixel_tiff(w, h, 1, 8, 1, ramp(w * h, 8),
                                                 profile=grey_profile()),
        "jpeg-icc": bytes([1]) + SOI + icc_chunks() + frame(width=6, height=4) + SCAN_END,
        "profile-rgb": bytes([2]) + rgb_profile(),
        "profile-grey": bytes([2]) + grey_profile(),
    }


def write(target, name, data):
    folder = HERE / "corpus" / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / ("seed-" + name)).write_bytes(data)


def main():
    for name, data in IMAGES.items():
        write("probe", name, data)
    for dpi in (300, 0, 72, 70000, 0xFFFFFFFF):
        for name in ("bmp-info40", "bmp-core12", "bmp-v5-topdown", "jpeg-jfif-dpi",
                     "jpeg-exif-be", "jpeg-padded-markers", "png-phys-inch", "png-no-phys",
                     "png-exif-orientation", "tiff-le-short", "tiff-be-long-cm", "tiff-le-no-resolution"):
            write("stamp", f"{name}-{dpi}", struct.pack("<I", dpi) + IMAGES[name])
        # WebP, HEIF, AVIF and JPEG XL files made by their tools, kept in the probe's corpus.
        for made in sorted(path for kind in ("webp", "heic", "avif", "jxl")
                           for path in (HERE / "corpus" / "modern_probe").glob(f"seed-{kind}-*")):
            name = made.stem[len("seed-"):]
            write("stamp", f"{name}-{dpi}", struct.pack("<I", dpi) + made.read_bytes())
    rich = SOI + app0() + segment(0xE1, b"Exif\0\0" + rich_exif_tiff()) + icc_chunks() + \
        frame() + SCAN_END
    metadata = {
        "rich-be": (1, 300, rich),
        "rich-le-all": (2, 72, SOI + segment(0xE1, b"Exif\0\0" + rich_exif_tiff(False, 8)) +
                        icc_chunks(b"GRAY", 1) + frame() + SCAN_END),
        "icc-only": (0, 600, SOI + icc_chunks(parts=3) + frame() + SCAN_END),
        "no-jfif": (1, 350, IMAGES["jpeg-exif-be"]),
        "bare-tiff": (1, 200, rich_exif_tiff()),
        "bmp": (0, 96, IMAGES["bmp-v4"]),
        "xmp-iptc": (1, 300, SOI + app0() + segment(0xE1, b"http://ns.adobe.com/xap/1.0/\0" + XMP) +
                     segment(0xED, b"Photoshop 3.0\0" + photoshop_resources()) + frame() +
                     SCAN_END),
        "png-icc-xmp": (2, 144, png(before_idat=chunk(
            b"iCCP", b"ICC profile\0\0" + zlib.compress(profile_bytes())) + chunk(
            b"iTXt", b"XML:com.adobe.xmp\0\0\0\0\0" + XMP))),
        "png-grey-icc": (1, 72, png(before_idat=chunk(
            b"iCCP", b"x\0\0" + zlib.compress(profile_bytes(b"GRAY"))))),
        "tiff-icc-xmp": (1, 96, tiff_with_bytes([(34675, profile_bytes()), (700, XMP)])),
        "bare-photoshop": (1, 300, photoshop_resources()),
    }
    for name, (policy, dpi, data) in metadata.items():
        write("metadata", name, bytes([policy]) + struct.pack("<H", dpi) + data)
    for name, data in CSV.items():
        write("preset_csv", name, data)
    for name, (presets, text) in OPTIONS.items():
        write("options", name, bytes([presets]) + text.encode())
    for name, data in colour_seeds().items():
        write("colour", name, data)


if __name__ == "__main__":
    main()
