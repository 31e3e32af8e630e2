// JPEG decoding with OpenCV's settings. libjpeg's default message handler prints warnings such
// as "Premature end of JPEG file" on standard error, and OpenCV keeps that handler; decoding
// here with the same library and the same settings gives the same pixels, while the warnings
// are only counted, so that the run can name the damaged file instead.
#include "JpegDecode.h"

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <opencv2/core.hpp>
#include <vector>

#include "ColourManage.h"

// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

namespace korvale {
namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void JumpOnError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

// Warnings are counted by libjpeg (num_warnings); nothing is printed.
void KeepQuiet(j_common_ptr) {}

// Everything the decoder holds, on the heap so that it is in a defined state after a jump.
struct Decoder {
    jpeg_decompress_struct info;
    ErrorManager errors;
    std::FILE* file = nullptr;
    bool created = false;
    cv::Mat inks;  // a CMYK file's samples, here since a jump skips the destructors on its way

    ~Decoder() {
        if (created) {
            jpeg_destroy_decompress(&info);
        }
        if (file) {
            std::fclose(file);
        }
    }
};

// The Exif orientation as OpenCV reads it: from the first APP1 segment, whatever its
// identifier, skipping six bytes; IFD0 entries are read in order until one of the entries that
// OpenCV parses lies outside the data, and the first orientation entry read counts.
class ExifOrientationReader {
public:
    ExifOrientationReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    int Orientation() {
        if (size_ == 0) {
            return 1;
        }
        intel_ = !(size_ > 1 && data_[0] != data_[1]) && data_[0] == 'I';
        uint32_t value;
        if (!U16(2, value) || value != 0x2A) {
            return 1;
        }
        uint32_t offset, count;
        if (!U32(4, offset) || !U16(offset, count)) {
            return 1;
        }
        offset += 2;
        for (uint32_t entry = 0; entry < count; ++entry, offset += 12) {
            uint32_t tag;
            if (!U16(offset, tag)) {
                break;
            }
            if (tag == 0x0112) {
                if (!U16(offset + 8, value)) {
                    break;
                }
                return static_cast<int>(value);
            }
            if (!EntryReadable(tag, offset)) {
                break;
            }
        }
        return 1;
    }

private:
    bool U16(size_t offset, uint32_t& value) const {
        if (offset + 1 >= size_) {
            return false;
        }
        value = intel_ ? data_[offset] | data_[offset + 1] << 8
                       : data_[offset] << 8 | data_[offset + 1];
        return true;
    }
    bool U32(size_t offset, uint32_t& value) const {
        if (offset + 3 >= size_) {
            return false;
        }
        const uint32_t b0 = data_[offset], b1 = data_[offset + 1], b2 = data_[offset + 2],
                       b3 = data_[offset + 3];
        value = intel_ ? b0 | b1 << 8 | b2 << 16 | b3 << 24 : b0 << 24 | b1 << 16 | b2 << 8 | b3;
        return true;
    }
    bool Rationals(size_t offset, int count) const {
        uint32_t at, ignored;
        if (!U32(offset + 8, at)) {
            return false;
        }
        for (int i = 0; i < count; ++i, at += 8) {
            if (!U32(at, ignored) || !U32(at + 4, ignored)) {
                return false;
            }
        }
        return true;
    }
    // Whether OpenCV reads the entry of `tag` at `offset` without running out of data.
    bool EntryReadable(uint32_t tag, size_t offset) const {
        uint32_t value;
        switch (tag) {
            case 0x010E:  // image description, make, model, software, date and time, copyright
            case 0x010F:
            case 0x0110:
            case 0x0131:
            case 0x0132:
            case 0x8298: {
                uint32_t length;
                if (!U32(offset + 4, length)) {
                    return false;
                }
                uint32_t at = 8;
                if (length > 4 && !U32(offset + 8, at)) {
                    return false;
                }
                return at <= size_ && uint64_t{at} + length <= size_;
            }
            case 0x011A:  // resolutions
            case 0x011B:
                return Rationals(offset, 1);
            case 0x013E:  // white point
                return Rationals(offset, 2);
            case 0x013F:  // primary chromaticities, reference black and white
            case 0x0214:
                return Rationals(offset, 6);
            case 0x0211:  // YCbCr coefficients
                return Rationals(offset, 3);
            case 0x0128:  // resolution unit, YCbCr positioning
            case 0x0213:
                return U16(offset + 8, value);
            default:
                return true;
        }
    }

    const uint8_t* data_;
    size_t size_;
    bool intel_ = false;
};

// The ICC profile of the saved APP2 segments; empty when there is none or its chunks do not add
// up.
ByteBuffer ProfileOf(jpeg_decompress_struct& info) {
    JOCTET* data = nullptr;
    unsigned int size = 0;
    ByteBuffer profile;
    if (jpeg_read_icc_profile(&info, &data, &size) && data != nullptr) {
        profile.assign(data, data + size);
    }
    std::free(data);
    return profile;
}

int OrientationOf(const jpeg_decompress_struct& info) {
    for (jpeg_saved_marker_ptr marker = info.marker_list; marker; marker = marker->next) {
        if (marker->marker == JPEG_APP0 + 1) {
            return marker->data_length > 6
                       ? ExifOrientationReader(marker->data + 6, marker->data_length - 6)
                             .Orientation()
                       : 1;
        }
    }
    return 1;
}

}  // namespace

void ApplyOrientation(int orientation, cv::Mat& image) {
    if (orientation >= 5 && orientation <= 8) {
        cv::transpose(image, image);
    }
    switch (orientation) {
        case 2:
        case 6:
            cv::flip(image, image, 1);
            break;
        case 3:
        case 7:
            cv::flip(image, image, -1);
            break;
        case 4:
        case 8:
            cv::flip(image, image, 0);
            break;
        default:
            break;
    }
}

namespace {

bool IsJpeg(std::FILE* file) {
    unsigned char signature[3];
    const bool jpeg = std::fread(signature, 1, 3, file) == 3 && signature[0] == 0xFF &&
                      signature[1] == 0xD8 && signature[2] == 0xFF;
    std::rewind(file);
    return jpeg;
}

// OpenCV's limits on a decoded image's size; beyond them imread refuses the file itself.
bool WithinOpenCvLimits(uint64_t width, uint64_t height) {
    return width > 0 && height > 0 && width <= (1u << 20) && height <= (1u << 20) &&
           width * height <= (uint64_t{1} << 30);
}

// The largest libjpeg scale denominator that keeps the longer side at `minLongSide` or more.
unsigned ReducingDenominator(unsigned width, unsigned height, int minLongSide) {
    const unsigned longSide = width > height ? width : height;
    for (unsigned denominator : {8u, 4u, 2u}) {
        if (minLongSide > 0 &&
            (longSide + denominator - 1) / denominator >= static_cast<unsigned>(minLongSide)) {
            return denominator;
        }
    }
    return 1;
}

JpegDecodeResult Decode(Decoder& d, cv::Mat& image, JpegDecodeNotes& notes, int minLongSide) {
    jpeg_decompress_struct& info = d.info;
    jpeg_create_decompress(&info);
    d.created = true;
    jpeg_stdio_src(&info, d.file);
    jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
    // The profile that CMYK inks are converted through.
    jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&info, TRUE);
    const bool motionJpeg = !info.ac_huff_tbl_ptrs[0] && !info.ac_huff_tbl_ptrs[1] &&
                            !info.dc_huff_tbl_ptrs[0] && !info.dc_huff_tbl_ptrs[1];
    const bool cmyk = info.num_components == 4 &&
                      (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK);
    if ((info.num_components == 4 && !cmyk) || motionJpeg ||
        !WithinOpenCvLimits(info.image_width, info.image_height)) {
        return JpegDecodeResult::NotHandled;
    }
    // The saved segments are freed when the decompression finishes.
    const int orientation = OrientationOf(info);
    const bool turned = orientation >= 5 && orientation <= 8;
    notes.fullWidth = static_cast<int>(turned ? info.image_height : info.image_width);
    notes.fullHeight = static_cast<int>(turned ? info.image_width : info.image_height);
    info.scale_num = 1;
    info.scale_denom = ReducingDenominator(info.image_width, info.image_height, minLongSide);
    const bool colour = info.num_components > 1;
    // libjpeg turns YCCK into CMYK itself.
    info.out_color_space = cmyk ? JCS_CMYK : colour ? JCS_EXT_BGR : JCS_GRAYSCALE;
    info.out_color_components = cmyk ? 4 : colour ? 3 : 1;
    jpeg_start_decompress(&info);
    cv::Mat& into = cmyk ? d.inks : image;
    into.create(static_cast<int>(info.output_height), static_cast<int>(info.output_width),
                cmyk     ? CV_8UC4
                : colour ? CV_8UC3
                         : CV_8UC1);
    for (int row = 0; row < into.rows; ++row) {
        JSAMPROW line = into.ptr<JSAMPLE>(row);
        if (jpeg_read_scanlines(&info, &line, 1) != 1) {
            return JpegDecodeResult::Failed;
        }
    }
    if (cmyk) {
        // Adobe's writers store 255 for no ink, and mark their files with an APP14 segment;
        // without one the inks are taken as stored.
        const InkValues values = info.saw_Adobe_marker ? InkValues::Inverted : InkValues::Plain;
        CmykToSrgb(d.inks, values, ProfileOf(info), image);
        d.inks.release();
        notes.srgb = true;
    }
    jpeg_finish_decompress(&info);
    ApplyOrientation(orientation, image);
    return JpegDecodeResult::Decoded;
}

}  // namespace

JpegDecodeResult DecodeJpeg(const std::string& path, cv::Mat& image, JpegDecodeNotes& notes,
                            int minLongSide) {
    notes = {};
    image.release();
    std::FILE* file = std::fopen(path.c_str(), "rbe");
    if (!file) {
        return JpegDecodeResult::NotHandled;
    }
    if (!IsJpeg(file)) {
        std::fclose(file);
        return JpegDecodeResult::NotHandled;
    }
    const std::unique_ptr<Decoder> decoder(new (std::nothrow) Decoder);
    if (!decoder) {
        std::fclose(file);
        notes.lackedMemory = true;
        return JpegDecodeResult::Failed;
    }
    Decoder* const d = decoder.get();
    d->file = file;
    d->info.err = jpeg_std_error(&d->errors.pub);
    d->errors.pub.error_exit = JumpOnError;
    d->errors.pub.output_message = KeepQuiet;
    JpegDecodeResult result = JpegDecodeResult::Failed;
    if (setjmp(d->errors.jump) == 0) {
        try {
            result = Decode(*d, image, notes, minLongSide);
        } catch (const cv::Exception& e) {
            notes.lackedMemory = e.code == cv::Error::StsNoMem;
            result = JpegDecodeResult::Failed;
        } catch (const std::bad_alloc&) {
            notes.lackedMemory = true;
            result = JpegDecodeResult::Failed;
        }
    } else {
        // libjpeg gave up (a fatal error); its own memory failure is a lack of memory too.
        notes.lackedMemory = d->errors.pub.msg_code == JERR_OUT_OF_MEMORY;
        result = JpegDecodeResult::Failed;
    }
    notes.damaged = d->errors.pub.num_warnings > 0;
    if (result != JpegDecodeResult::Decoded) {
        image.release();
    }
    return result;
}

}  // namespace korvale
