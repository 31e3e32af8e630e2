// The libvips peer for the conversion benchmarks: one process over all files, doing what the
// engine does with libvips's own operations. Built by bench/run-conversion-benchmarks.sh, not
// by CMake, so that nothing else needs libvips-dev.
//   bench_vips_loop fit|stretch|crop OUTFOLDER W H DPI QUALITY EXT FILE...
// fit: scale to fit inside W x H (Lanczos 3, libvips has no Lanczos 4), centred on white.
// stretch: box-shrink to exactly W x H; whole ratios make it the same average as OpenCV's area.
// crop: paste at 1:1 centred on a white W x H canvas, cutting what overflows.
// DPI 0 keeps the source's resolution. Saves JPEG for EXT .jpg, WebP for .webp (method 4, as
// the engine), PNG for .png (zlib level 1 and the Sub filter, as the engine), TIFF for .tif
// (uncompressed, resolution in inches, as the engine), else 24-bit BMP.
#include <vips/vips8>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using vips::VImage;

namespace {

constexpr double kMillimetresPerInch = 25.4;

VImage OnWhite(const VImage& image, int W, int H) {
    return image.gravity(VIPS_COMPASS_DIRECTION_CENTRE, W, H,
                         VImage::option()
                             ->set("extend", VIPS_EXTEND_BACKGROUND)
                             ->set("background", std::vector<double>{255}));
}

// libvips saves BMP through ImageMagick, which leaves the resolution out; patch the two
// pixels-per-metre fields afterwards, as the engine stamps its own output.
bool StampBmp(const std::string& path, int dpi) {
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    if (file == nullptr) {
        return false;
    }
    const uint32_t perMetre = (uint32_t(dpi) * 10000 + 127) / 254;
    unsigned char field[8];
    for (int i = 0; i < 8; ++i) {
        field[i] = static_cast<unsigned char>(perMetre >> (8 * (i % 4)));
    }
    const bool ok = std::fseek(file, 38, SEEK_SET) == 0 && std::fwrite(field, 8, 1, file) == 1;
    return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (VIPS_INIT(argv[0])) {
        vips_error_exit(nullptr);
    }
    if (argc < 9) {
        std::fprintf(stderr, "usage: %s fit|stretch|crop OUTFOLDER W H DPI QUALITY EXT FILE...\n",
                     argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    const std::string folder = argv[2];
    const int W = std::atoi(argv[3]), H = std::atoi(argv[4]);
    const int dpi = std::atoi(argv[5]);
    const int quality = std::atoi(argv[6]);
    const std::string extension = argv[7];
    if (mode != "fit" && mode != "stretch" && mode != "crop") {
        std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
        return 2;
    }
    // Every file is new: the operation cache would only hold on to finished images.
    vips_cache_set_max(0);
    for (int i = 8; i < argc; ++i) {
        const std::string path = argv[i];
        std::string name = path.substr(path.rfind('/') + 1);
        name = folder + "/" + name.substr(0, name.rfind('.')) + extension;
        try {
            const VImage source = VImage::new_from_file(
                path.c_str(), VImage::option()->set("access", VIPS_ACCESS_SEQUENTIAL));
            const int w = source.width(), h = source.height();
            VImage output;
            if (mode == "fit") {
                // The fitted size as the engine computes it, so both place the same rectangle.
                const double sx = double(W) / w, sy = double(H) / h;
                const int fw = sx > sy ? int(w * sy) : W, fh = sy > sx ? int(h * sx) : H;
                output = OnWhite(
                    source.resize(double(fw) / w, VImage::option()
                                                      ->set("vscale", double(fh) / h)
                                                      ->set("kernel", VIPS_KERNEL_LANCZOS3)),
                    W, H);
            } else if (mode == "stretch") {
                output = source.shrink(double(w) / W, double(h) / H);
            } else {
                output = OnWhite(source, W, H);
            }
            if (output.width() != W || output.height() != H) {
                std::fprintf(stderr, "%s: came out %dx%d\n", path.c_str(), output.width(),
                             output.height());
                return 1;
            }
            if (dpi > 0) {
                const double perMillimetre = dpi / kMillimetresPerInch;
                output = output.copy(
                    VImage::option()->set("xres", perMillimetre)->set("yres", perMillimetre));
            }
            if (extension == ".jpg") {
                // 4:2:0 and plain Huffman tables, as OpenCV writes; libvips would otherwise
                // keep full chroma from quality 90 up.
                output.jpegsave(name.c_str(), VImage::option()
                                                  ->set("Q", quality)
                                                  ->set("subsample_mode", VIPS_FOREIGN_SUBSAMPLE_ON)
                                                  ->set("optimize_coding", false));
            } else if (extension == ".webp") {
                // Lossy at the engine's method (libvips calls it effort).
                output.webpsave(name.c_str(),
                                VImage::option()->set("Q", quality)->set("effort", 4));
            } else if (extension == ".png") {
                output.pngsave(name.c_str(), VImage::option()
                                                 ->set("compression", 1)
                                                 ->set("filter", VIPS_FOREIGN_PNG_FILTER_SUB));
            } else if (extension == ".tif") {
                output.tiffsave(name.c_str(),
                                VImage::option()
                                    ->set("compression", VIPS_FOREIGN_TIFF_COMPRESSION_NONE)
                                    ->set("resunit", VIPS_FOREIGN_TIFF_RESUNIT_INCH));
            } else {
                output.magicksave(name.c_str(), VImage::option()->set("format", "BMP3"));
                if (dpi > 0 && !StampBmp(name, dpi)) {
                    std::fprintf(stderr, "cannot stamp %s\n", name.c_str());
                    return 1;
                }
            }
        } catch (const vips::VError& error) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), error.what());
            return 1;
        }
    }
    vips_shutdown();
    return 0;
}
