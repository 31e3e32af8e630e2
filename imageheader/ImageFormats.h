// The image formats the program reads and writes, one entry each: the names that stand for
// it, how its header is read, how its resolution is changed and what its encoder refuses.
// Every rule that goes from a file name to a format, or from a format to a name, is here; a new
// format is a new entry (and its codec in convert/).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ImageHeader.h"
#include "ResolutionStamp.h"

namespace korvale {

enum class ImageFormat { Bmp, Jpeg, Png, Tiff, Heif, Avif, Webp, Jxl };

// How an encoded output gets its resolution.
enum class OutputDpi {
    Encoder,  // the encoding writes it
    Rebuild,  // the encoded bytes are rebuilt with it (`withResolution`)
    Stamp,    // the written file is patched in place (`stamp`)
};

struct ImageFormatEntry {
    ImageFormat format;
    // Without the ".", compared ignoring ASCII case; the first one names the outputs made in
    // the format. The others are empty.
    std::array<std::string_view, 4> extensions;
    // Of the extensions, how many the file dialog offers (the first ones).
    size_t offered;

    // The header fields, with width and height as the decoder turns the image.
    std::optional<ImageHeaderInfo> (*probe)(const std::string& path);
    // The pixel that decoding the file gives.
    std::optional<PixelLayout> (*pixel)(const std::string& path);
    // The resolution set in place in a file, and in a copy of a file's bytes.
    StampOutcome (*stamp)(const std::string& path, uint32_t dpi);
    std::optional<std::vector<uint8_t>> (*withResolution)(const std::vector<uint8_t>& bytes,
                                                          uint32_t dpi);
    OutputDpi outputDpi;
    // Outputs are written in the format (an encoder and a resolution edit exist).
    bool writable = true;
    // The resolution of a file is changed without re-encoding it (the DPI-only method, stamp).
    bool editsResolution = true;

    // Decoding keeps the file's alpha (so a pixel may take more than three bytes), and the
    // outputs hold alpha.
    bool alpha;
    // The widest channel, in bytes, an output holds; narrower pixels are kept as they are.
    uint32_t widestChannel;
    // The encoder writes no compression: the output's size is known from its pixels.
    bool uncompressed;
    // Limits of the encoder: a side in pixels, and the file's size as `fileBytes` gives it
    // for an image of width x height pixels. 0 (or no function): no such limit.
    int maxSide;
    uint64_t maxFileBytes;
    uint64_t (*fileBytes)(uint64_t width, uint64_t height, PixelLayout pixel);
};

// Every format, each once.
const std::vector<ImageFormatEntry>& ImageFormats();

const ImageFormatEntry& EntryOf(ImageFormat format);

// The format whose extensions hold the text after the last "." of `name`, in any case;
// nullopt when none does (no ".", or an extension of no format here).
std::optional<ImageFormat> FormatOfExtension(std::string_view name);

// The format a file of that name is read as: a name no format claims is read as JPEG, as it
// always was (the probe then says whether it is one).
ImageFormat FormatOfName(std::string_view name);

// The format an output of that name is written in: the extension decides. nullopt when no
// extension names a format the program writes with its resolution (none, ".heic", ".gif"...),
// so such an output fails instead of being written without its DPI.
std::optional<ImageFormat> OutputFormatOfName(std::string_view name);

// "." and the first extension of the format: what its outputs are named with.
std::string OutputExtension(ImageFormat format);

}  // namespace korvale
