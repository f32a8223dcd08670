// The format table: what is derived from it (detection, extensions, dialog
// filters, messages) and what must exist for each of its formats (a fuzz
// target and a seed corpus whose files its decoder and probe agree on).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "image/codec_test_helpers.h"
#include "image/codecs/codec.h"
#include "image/file_io.h"
#include "image/file_types.h"
#include "image/image_format.h"
#include "image/image_io.h"

namespace orbelune {
namespace {

namespace fs = std::filesystem;

fs::path SourceRoot() {
    return fs::path(ORBELUNE_TEST_DATA).parent_path().parent_path();
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(FormatTable, EveryReadableFormatIsFuzzedFromASeedCorpusItsDecoderAndProbeAgreeOn) {
    const std::string fuzzList = ReadText(SourceRoot() / "fuzz" / "CMakeLists.txt");
    ASSERT_FALSE(fuzzList.empty());
    for (const Codec& codec : AllCodecs()) {
        if (codec.decode == nullptr) continue;
        SCOPED_TRACE(codec.id);
        EXPECT_NE(fuzzList.find(std::string(" ") + codec.id), std::string::npos)
            << "no fuzz target for " << codec.id;
        const fs::path corpus = SourceRoot() / "fuzz" / "corpus" / codec.id;
        ASSERT_TRUE(fs::is_directory(corpus));
        int seeds = 0;
        for (const fs::directory_entry& entry : fs::directory_iterator(corpus)) {
            const std::string name = entry.path().filename().string();
            SCOPED_TRACE(name);
            ++seeds;
            const std::vector<std::uint8_t> bytes = test::ReadFileBytes(entry.path().string());
            EXPECT_EQ(DetectFormat(bytes, name), codec.format);
            RgbImage image;
            ASSERT_EQ(DecodeImageBytes(bytes, codec.format, image), err::kNone);
            ASSERT_NE(codec.probe, nullptr);
            ImageSize size;
            ASSERT_EQ(codec.probe(bytes, size), err::kNone);
            EXPECT_EQ(size.width, image.width());
            EXPECT_EQ(size.height, image.height());
        }
        EXPECT_GT(seeds, 0);
    }
}

TEST(FormatTable, ExtensionsAndSignaturesLeadBackToTheirFormat) {
    for (const Codec& codec : AllCodecs()) {
        SCOPED_TRACE(codec.name);
        std::istringstream words(codec.extensions);
        for (std::string extension; words >> extension;) {
            EXPECT_EQ(FormatFromExtension("a." + extension), codec.format) << extension;
            std::string upper = extension;
            for (char& c : upper)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            EXPECT_EQ(FormatFromExtension("a." + upper), codec.format) << upper;
        }
        if (codec.detectionCode != 0 && codec.format != ImageFormat::Unknown) {
            EXPECT_EQ(FormatFromDetectionCode(codec.detectionCode), codec.format);
        }
    }
    // TIFF-structured raw files are raw by name; by content alone they are TIFF.
    std::vector<std::uint8_t> tiff(64, 0);
    tiff[0] = tiff[1] = 'I', tiff[2] = 42;
    EXPECT_EQ(DetectFormat(tiff, "DSC_0001.NEF"), ImageFormat::Raw);
    EXPECT_EQ(DetectFormat(tiff, "scan.tif"), ImageFormat::Tiff);
    EXPECT_EQ(DetectFormat(tiff, "scan.jpg"), ImageFormat::Tiff);
}

TEST(FileTypes, OpenDialogListsEveryReadableTypeAllImagesFirst) {
    const std::string filters = OpenDialogFilters();
    EXPECT_EQ(filters.rfind("All images (*.bmp *.jpg *.jpeg *.pcx *.dng", 0), 0u) << filters;
    EXPECT_NE(filters.find(" *.JPG"), std::string::npos);
    for (const char* entry : {"JPEG Files (*.jpg *.jpeg *.JPG *.JPEG);;", "PNG Files (",
                              "PCX Files (", "TGA Files (", "HEIF Files (*.heic", "WebP Files (",
                              "Netpbm Files (", "Camera Raw Files (*.dng *.cr2 *.cr3 *.nef"})
        EXPECT_NE(filters.find(entry), std::string::npos) << entry;
    EXPECT_EQ(filters.find("*.mov"), std::string::npos);  // recognised, not read
    EXPECT_EQ(filters.substr(filters.size() - 13), "All files (*)");
    // Saving offers exactly the four writers.
    EXPECT_EQ(
        SaveDialogFilters(),
        "Image Files (*.bmp *.jpg *.jpeg *.tif *.tiff *.png);;Windows BMP Files (*.bmp);;"
        "JPEG Files (*.jpg *.jpeg);;TIFF Files (*.tif *.tiff);;PNG Files (*.png);;All files (*)");
    EXPECT_EQ(WritableExtensions(), ".bmp, .jpg, .tif or .png");
}

TEST(FileTypes, LoadFailuresNameTheFileAndSayWhatHappened) {
    const std::string unknown =
        DescribeLoadFailure("/photos/anim.gif", ImageFormat::Unknown, err::kNoDecoder);
    EXPECT_NE(unknown.find("\"anim.gif\""), std::string::npos) << unknown;
    EXPECT_EQ(unknown.find("/photos"), std::string::npos);
    EXPECT_NE(unknown.find("JPEG"), std::string::npos);
    EXPECT_NE(unknown.find("HEIF"), std::string::npos);
    EXPECT_NE(unknown.find("and TGA"), std::string::npos);
    const std::string damaged = DescribeLoadFailure("x/ring.jpg", ImageFormat::Jpeg, err::kBadJpeg);
    EXPECT_EQ(damaged, "\"ring.jpg\" is a JPEG file, but it is damaged (bad JPG file).");
    const std::string raw = DescribeLoadFailure("a.cr3", ImageFormat::Raw, err::kRawUnsupported);
    EXPECT_NE(raw.find("not supported"), std::string::npos) << raw;
    for (const std::string& text : {unknown, damaged, raw, ImageErrorText(err::kNoDecoder)})
        EXPECT_EQ(text.find("Error #"), std::string::npos) << text;
}

TEST(FileTypes, FilesOfEachKindAreDescribedFromTheirContent) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const std::string gif = folder.path() + "/anim.gif";
    std::ofstream(gif) << "GIF89a" << std::string(60, '\1');
    RgbImage image;
    const ImageError result = image.LoadImageFile(gif);
    EXPECT_EQ(result, err::kNoDecoder);
    ImageSize size;
    ImageFormat format{};
    EXPECT_EQ(ProbeImageFile(gif, size, format), err::kNoDecoder);
    EXPECT_NE(DescribeLoadFailure(gif, format, result).find("not in a format"), std::string::npos);
    // A PGM cut in the middle of its pixels is a damaged PNM, not "Error #4294967295!".
    const std::string pgm = folder.path() + "/cut.pgm";
    std::ofstream(pgm) << "P5\n40 40\n255\n" << std::string(50, '\x80');
    const ImageError cut = image.LoadImageFile(pgm);
    EXPECT_EQ(cut, err::kBadPnm);
    EXPECT_EQ(DescribeLoadFailure(pgm, DetectFileFormat(pgm), cut),
              "\"cut.pgm\" is a PNM file, but it is damaged (bad PNM file).");
}

}  // namespace
}  // namespace orbelune
