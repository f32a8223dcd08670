#include "platform/quicktime/image_compression.h"

#include <sys/stat.h>

#include <algorithm>
#include <new>

#include "image/codecs/codec.h"
#include "image/image_layer.h"
#include "platform/quicktime/byte_writer.h"
#include "platform/quicktime/tile_codecs.h"

namespace orbelune::qt {

OSErr OffscreenBuffer::Create(int width, int height, std::unique_ptr<OffscreenBuffer>& out) {
    out.reset();
    if (const OSErr fault = InjectedFault(FaultStep::kNewOffscreen)) return fault;
    if (width <= 0 || height <= 0) return oserr::kInvalidRect;
    try {
        std::unique_ptr<OffscreenBuffer> buffer(new OffscreenBuffer());
        if (buffer->pixels_.AllocatePixels(width, height) != err::kNone) return oserr::kMemFullErr;
        out = std::move(buffer);
    } catch (const std::bad_alloc&) {
        return oserr::kMemFullErr;
    }
    return oserr::kNoErr;
}

OSErr GraphicsImporter::Open(const std::string& path, std::unique_ptr<GraphicsImporter>& out) {
    out.reset();
    if (const OSErr fault = InjectedFault(FaultStep::kImporterOpen)) return fault;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return oserr::kFnfErr;
    try {
        std::unique_ptr<GraphicsImporter> importer(new GraphicsImporter());
        const ImageError code = importer->image_.LoadImageFile(path);
        if (code == err::kNoMemory) return oserr::kMemFullErr;
        if (code != err::kNone || importer->image_.empty()) return oserr::kParamErr;
        importer->bounds_ = importer->naturalBounds();
        out = std::move(importer);
    } catch (const std::bad_alloc&) {
        return oserr::kMemFullErr;
    }
    return oserr::kNoErr;
}

OSErr GraphicsImporter::SetBoundsRect(const Rect& bounds) {
    if (bounds.empty()) return oserr::kInvalidRect;
    bounds_ = bounds;
    return oserr::kNoErr;
}

OSErr GraphicsImporter::Draw(OffscreenBuffer& destination) const {
    if (const OSErr fault = InjectedFault(FaultStep::kImporterDraw)) return fault;
    RgbImage& target = destination.pixels();
    const std::int64_t w = bounds_.width();
    const std::int64_t h = bounds_.height();
    // Only the destination rows and columns inside both the buffer and the bounds.
    const int x0 = std::max(0, bounds_.left);
    const int x1 = std::min(target.width(), bounds_.right);
    const int y0 = std::max(0, bounds_.top);
    const int y1 = std::min(target.height(), bounds_.bottom);
    const bool natural = w == image_.width() && h == image_.height();
    for (int y = y0; y < y1; ++y) {
        const auto sy = static_cast<int>((y - bounds_.top) * std::int64_t{image_.height()} / h);
        const std::uint8_t* source = image_.row(sy);
        std::uint8_t* row = target.row(y);
        if (natural) {
            std::copy_n(source + (x0 - bounds_.left) * 3, (x1 - x0) * 3, row + x0 * 3);
            continue;
        }
        for (int x = x0; x < x1; ++x) {
            const auto sx = static_cast<int>((x - bounds_.left) * std::int64_t{image_.width()} / w);
            std::copy_n(source + sx * 3, 3, row + x * 3);
        }
    }
    return oserr::kNoErr;
}

std::vector<std::uint8_t> ImageDescription::Bytes() const {
    detail::ByteWriter w;
    w.U32(kImageDescriptionSize);
    w.U32(codecType);
    w.Zeros(6);
    w.U16(1);  // data reference index
    w.U16(0);  // version
    w.U16(0);  // revision
    w.U32(0);  // vendor
    w.U32(0);  // temporal quality
    w.I32(spatialQuality);
    w.I16(width);
    w.I16(height);
    w.I32(hRes);
    w.I32(vRes);
    w.I32(dataSize);
    w.I16(frameCount);
    const std::string shortName = name.substr(0, 31);
    w.PascalString(shortName);
    w.Zeros(31 - shortName.size());
    w.I16(depth);
    w.I16(clutId);
    return std::move(w.bytes());
}

namespace {

const char* CompressorName(FourCC type) {
    switch (type) {
        case kJpegCodecType:
            return "Photo - JPEG";
        case kRawCodecType:
            return "None";
        case kTiffCodecType:
            return "TIFF";
        case kCinepakCodecType:
            return "Cinepak";
        case kSorensonCodecType:
            return "Sorenson Video";
        case kBmpCodecType:
            return "BMP";
        default:
            return nullptr;
    }
}

std::size_t DibRowSize(int width) {
    return (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
}

void PackRaw(const RgbImage& image, std::vector<std::uint8_t>& out) {
    out.assign(image.data(), image.data() + image.byteCount());
}

void PackDib(const RgbImage& image, std::vector<std::uint8_t>& out) {
    const std::size_t rowSize = DibRowSize(image.width());
    out.assign(rowSize * static_cast<std::size_t>(image.height()), 0);
    for (int y = 0; y < image.height(); ++y) {
        const std::uint8_t* source = image.row(image.height() - 1 - y);
        std::uint8_t* row = out.data() + rowSize * static_cast<std::size_t>(y);
        for (int x = 0; x < image.width(); ++x) {
            row[x * 3] = source[x * 3 + 2];
            row[x * 3 + 1] = source[x * 3 + 1];
            row[x * 3 + 2] = source[x * 3];
        }
    }
}

}  // namespace

OSErr GetMaxCompressionSize(const OffscreenBuffer& buffer, FourCC type, CodecQ /*quality*/,
                            std::size_t& size) {
    size = 0;
    if (!CompressorName(type)) return oserr::kNoCodecErr;
    const std::size_t pixels = static_cast<std::size_t>(buffer.width()) * buffer.height();
    // Raw and DIB are exact; the others stay below twice the raw size plus headers.
    size = type == kBmpCodecType ? DibRowSize(buffer.width()) * buffer.height()
                                 : pixels * 3 * 2 + 65536;
    return oserr::kNoErr;
}

OSErr CompressImage(const OffscreenBuffer& buffer, FourCC type, CodecQ quality,
                    std::vector<std::uint8_t>& data, ImageDescription& description) {
    data.clear();
    description = ImageDescription{};
    if (const OSErr fault = InjectedFault(FaultStep::kCompress)) return fault;
    const char* name = CompressorName(type);
    if (!name) return oserr::kNoCodecErr;
    const RgbImage& image = buffer.pixels();
    if (image.empty() || image.width() > 0x7FFF || image.height() > 0x7FFF) {
        return oserr::kParamErr;
    }
    quality = std::clamp(quality, kCodecMinQuality, kCodecLosslessQuality);
    OSErr result = oserr::kNoErr;
    try {
        switch (type) {
            case kJpegCodecType:
                result = detail::EncodeBaselineJpeg(image, quality, data);
                break;
            case kRawCodecType:
                PackRaw(image, data);
                break;
            case kBmpCodecType:
                PackDib(image, data);
                break;
            case kTiffCodecType: {
                ByteSink sink;
                ImageOperation op;
                const ImageError code =
                    EncodeTiff(image.data(), image.width(), image.height(), sink, op);
                if (code != err::kNone) {
                    result = code == err::kNoMemory ? oserr::kMemFullErr : oserr::kCodecErr;
                } else {
                    data = std::move(sink.bytes());
                }
                break;
            }
            case kCinepakCodecType:
                result = detail::EncodeCinepak(image, quality, data);
                break;
            case kSorensonCodecType:
                result = detail::EncodeSorenson(image, quality, data);
                break;
            default:
                result = oserr::kNoCodecErr;
        }
    } catch (const std::bad_alloc&) {
        result = oserr::kMemFullErr;
    }
    if (result != oserr::kNoErr || data.size() > 0x7FFFFFFF) {
        data.clear();
        return result != oserr::kNoErr ? result : oserr::kCodecErr;
    }
    description.codecType = type;
    description.width = static_cast<std::int16_t>(image.width());
    description.height = static_cast<std::int16_t>(image.height());
    description.dataSize = static_cast<std::int32_t>(data.size());
    description.name = name;
    description.spatialQuality = quality;
    return oserr::kNoErr;
}

}  // namespace orbelune::qt
