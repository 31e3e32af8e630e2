// The metadata of a source file, read by its format's reader.
#include "ByteFile.h"
#include "ByteSource.h"
#include "JpegMetadata.h"
#include "JxlColour.h"
#include "SourceMetadata.h"

namespace korvale {

SourceMetadata ReadSourceMetadata(const std::string& path, ImageFormat format) {
    switch (format) {
        case ImageFormat::Jpeg:
            return ReadJpegMetadata(path);
        case ImageFormat::Png:
        case ImageFormat::Tiff: {
            ByteFile file;
            if (!file.Open(path, ByteFile::Access::Read)) {
                return {};
            }
            FileSource source(file);
            return format == ImageFormat::Png ? ReadPngMetadata(source) : ReadTiffMetadata(source);
        }
        case ImageFormat::Heif:
        case ImageFormat::Avif:
        case ImageFormat::Webp:
        case ImageFormat::Jxl: {
            ByteFile file;
            if (!file.Open(path, ByteFile::Access::Read)) {
                return {};
            }
            FileSource source(file);
            SourceMetadata metadata = ReadModernMetadata(source, format);
            if (format == ImageFormat::Jxl) {
                metadata.iccProfile = ReadJxlProfile(file);
                if (!PlausibleProfile(metadata.iccProfile)) {
                    metadata.iccProfile.clear();
                }
            }
            return metadata;
        }
        case ImageFormat::Bmp:
            break;
    }
    return {};
}

}  // namespace korvale
