// The photo's EXIF, ICC profile and capture time, read from the photo and put
// into the panoramas made from it. libexiv2 throws and logs: everything that
// touches it is caught here and its log is muted.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <exiv2/exiv2.hpp>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "export/exiv2_support.h"
#include "export/share360.h"
#include "image/file_io.h"

namespace orbelune {

namespace {

std::once_flag g_exiv2Ready;
std::mutex g_xmpToolkit;

void LockXmpToolkit(void* data, bool lock) {
    auto* mutex = static_cast<std::mutex*>(data);
    if (lock)
        mutex->lock();
    else
        mutex->unlock();
}

void SilentLog(int, const char*) {}

// Tags of IFD0 that say something about the scene or the camera; the rest of
// IFD0 describes the old picture (size, orientation, strips, resolution) or
// the old file (its software and change time).
const std::set<std::string>& KeptImageTags() {
    static const std::set<std::string> tags{"Make", "Model", "Artist", "Copyright",
                                            "ImageDescription"};
    return tags;
}

// Tags of the Exif IFD that describe the old picture rather than the shot.
const std::set<std::string>& DroppedPhotoTags() {
    static const std::set<std::string> tags{"PixelXDimension",
                                            "PixelYDimension",
                                            "MakerNote",
                                            "SubjectArea",
                                            "SubjectLocation",
                                            "ComponentsConfiguration",
                                            "CompressedBitsPerPixel",
                                            "InteroperabilityTag",
                                            "ImageUniqueID",
                                            "RelatedSoundFile",
                                            "FocalPlaneXResolution",
                                            "FocalPlaneYResolution",
                                            "FocalPlaneResolutionUnit"};
    return tags;
}

bool KeepExifTag(const Exiv2::Exifdatum& datum) {
    const std::string group = datum.groupName();
    if (group == "GPSInfo") return true;
    if (group == "Image") return KeptImageTags().count(datum.tagName()) != 0;
    if (group == "Photo") return DroppedPhotoTags().count(datum.tagName()) == 0;
    return false;  // thumbnail, interoperability, maker notes
}

bool ValidDateTime(const std::string& text) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%4d:%2d:%2d %2d:%2d:%2d%c", &year, &month, &day, &hour, &minute,
                    &second, &tail) != 6)
        return false;
    return text.size() == 19 && year >= 1904 && month >= 1 && month <= 12 && day >= 1 &&
           day <= 31 && hour <= 23 && minute <= 59 && second <= 60;
}

PhotoMetadata MetadataOf(Exiv2::Image& image) {
    image.readMetadata();
    PhotoMetadata metadata;
    Exiv2::ExifData kept;
    for (const Exiv2::Exifdatum& datum : image.exifData()) {
        if (KeepExifTag(datum)) kept.add(datum);
    }
    if (!kept.empty()) {
        Exiv2::Blob blob;
        Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, kept);
        metadata.exif.assign(blob.begin(), blob.end());
        const auto date = kept.findKey(Exiv2::ExifKey("Exif.Photo.DateTimeOriginal"));
        if (date != kept.end()) {
            std::string text = date->toString();
            if (ValidDateTime(text)) metadata.dateTimeOriginal = std::move(text);
        }
    }
    if (image.iccProfileDefined()) {
        const Exiv2::DataBuf* icc = image.iccProfile();
        if (icc->pData_ != nullptr && icc->size_ > 0)
            metadata.icc.assign(icc->pData_, icc->pData_ + icc->size_);
    }
    return metadata;
}

}  // namespace

void PrepareExiv2() {
    std::call_once(g_exiv2Ready, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::LogMsg::setHandler(&SilentLog);
        try {
            // The XMP toolkit is global: jobs on several threads share it.
            Exiv2::XmpParser::initialize(&LockXmpToolkit, &g_xmpToolkit);
        } catch (...) {
        }
    });
}

PhotoMetadata ReadPhotoMetadata(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size == 0 || size > 0x7FFFFFFF) return {};
    try {
        PrepareExiv2();
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(data, static_cast<long>(size));
        if (image.get() == nullptr) return {};
        return MetadataOf(*image);
    } catch (...) {
        return {};
    }
}

PhotoMetadata ReadPhotoMetadata(const std::string& path) {
    // Read whole: libexiv2 on a path maps the file and may report a file that
    // changes under it by throwing from anywhere.
    std::vector<std::uint8_t> bytes;
    if (ReadWholeFile(path, bytes) != err::kNone) return {};
    return ReadPhotoMetadata(bytes.data(), bytes.size());
}

std::int64_t PhotoTimeSeconds(const PhotoMetadata& metadata) {
    const std::string& text = metadata.dateTimeOriginal;
    if (!ValidDateTime(text)) return 0;
    std::tm time{};
    std::sscanf(text.c_str(), "%4d:%2d:%2d %2d:%2d:%2d", &time.tm_year, &time.tm_mon, &time.tm_mday,
                &time.tm_hour, &time.tm_min, &time.tm_sec);
    time.tm_year -= 1900;
    time.tm_mon -= 1;
    return static_cast<std::int64_t>(::timegm(&time));
}

bool EditImageMetadata(std::vector<std::uint8_t>& file,
                       const std::function<void(Exiv2::Image&)>& edit) {
    if (file.empty() || file.size() > 0x7FFFFFFF) return false;
    try {
        PrepareExiv2();
        Exiv2::Image::AutoPtr image =
            Exiv2::ImageFactory::open(file.data(), static_cast<long>(file.size()));
        if (image.get() == nullptr) return false;
        image->readMetadata();
        edit(*image);
        image->writeMetadata();
        Exiv2::BasicIo& io = image->io();
        if (io.open() != 0) return false;
        const long size = io.size();
        if (size <= 0) return false;
        std::vector<std::uint8_t> edited(static_cast<std::size_t>(size));
        io.seek(0, Exiv2::BasicIo::beg);
        if (io.read(edited.data(), size) != size) return false;
        io.close();
        file = std::move(edited);
        return true;
    } catch (...) {
        return false;
    }
}

void AddPhotoMetadata(Exiv2::Image& image, const PhotoMetadata& metadata) {
    if (!metadata.exif.empty()) {
        Exiv2::ExifData photo;
        Exiv2::ExifParser::decode(photo, metadata.exif.data(),
                                  static_cast<std::uint32_t>(metadata.exif.size()));
        // Added to what the new file holds, so its own structure (a TIFF's
        // size and strips) stays.
        Exiv2::ExifData& exif = image.exifData();
        for (const Exiv2::Exifdatum& datum : photo) {
            if (!KeepExifTag(datum)) continue;
            const auto old = exif.findKey(Exiv2::ExifKey(datum.key()));
            if (old != exif.end()) exif.erase(old);
            exif.add(datum);
        }
    }
    if (!metadata.icc.empty()) {
        Exiv2::DataBuf icc(metadata.icc.data(), static_cast<long>(metadata.icc.size()));
        image.setIccProfile(icc, true);
    }
}

bool EmbedPhotoMetadata(std::vector<std::uint8_t>& file, const PhotoMetadata& metadata) {
    if (metadata.exif.empty() && metadata.icc.empty()) return true;
    return EditImageMetadata(file, [&](Exiv2::Image& image) { AddPhotoMetadata(image, metadata); });
}

ImageError ReadBackFile(int fd, std::vector<std::uint8_t>& bytes) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || info.st_size <= 0) return err::kFileRead;
    try {
        bytes.resize(static_cast<std::size_t>(info.st_size));
    } catch (const std::bad_alloc&) {
        return err::kNoMemory;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got =
            ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return err::kFileRead;
        done += static_cast<std::size_t>(got);
    }
    return err::kNone;
}

ImageError RewriteFile(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put =
            ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return err::kFileWrite;
        done += static_cast<std::size_t>(put);
    }
    if (::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) return err::kFileWrite;
    return err::kNone;
}

SaveFinisher PhotoMetadataFinisher(PhotoMetadata metadata) {
    if (metadata.exif.empty() && metadata.icc.empty()) return {};
    return [metadata = std::move(metadata)](int fd, ImageFormat format) -> ImageError {
        if (format != ImageFormat::Jpeg && format != ImageFormat::Tiff &&
            format != ImageFormat::Png)
            return err::kNone;  // BMP holds no metadata
        std::vector<std::uint8_t> bytes;
        // A file that cannot be read back keeps what was written.
        if (ReadBackFile(fd, bytes) != err::kNone) return err::kNone;
        if (!EmbedPhotoMetadata(bytes, metadata)) return err::kNone;
        return RewriteFile(fd, bytes);
    };
}

}  // namespace orbelune
