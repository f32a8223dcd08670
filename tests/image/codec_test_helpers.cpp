#include "image/codec_test_helpers.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

namespace orbelune::test {

std::string TestDataPath(const std::string& relative) {
    return std::string(ORBELUNE_TEST_DATA) + "/" + relative;
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ADD_FAILURE() << "cannot read " << path;
        return {};
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

namespace {

// Next header number of a PNM file, skipping blanks and comments.
bool ReadPnmNumber(std::istream& in, long& value) {
    for (;;) {
        const int c = in.peek();
        if (c == '#') {
            std::string comment;
            std::getline(in, comment);
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            in.get();
        } else {
            break;
        }
    }
    return static_cast<bool>(in >> value);
}

}  // namespace

RgbImage ReadPpm(const std::string& path) {
    RgbImage image;
    std::ifstream in(path, std::ios::binary);
    char magic[2] = {};
    long width = 0, height = 0, maxval = 0;
    if (!in.read(magic, 2) || magic[0] != 'P' || magic[1] != '6' || !ReadPnmNumber(in, width) ||
        !ReadPnmNumber(in, height) || !ReadPnmNumber(in, maxval) || maxval != 255) {
        ADD_FAILURE() << path << " is not a readable 8-bit binary PPM";
        return image;
    }
    in.get();  // the single blank after maxval
    if (image.AllocatePixels(static_cast<int>(width), static_cast<int>(height)) != 0 ||
        !in.read(reinterpret_cast<char*>(image.data()),
                 static_cast<std::streamsize>(image.byteCount()))) {
        ADD_FAILURE() << path << ": pixel data missing";
        image.FreePixels();
    }
    return image;
}

::testing::AssertionResult SamePixels(const RgbImage& actual, const RgbImage& expected,
                                      int tolerance) {
    if (actual.width() != expected.width() || actual.height() != expected.height())
        return ::testing::AssertionFailure()
               << "size " << actual.width() << "x" << actual.height() << ", expected "
               << expected.width() << "x" << expected.height();
    int differing = 0;
    std::ostringstream first;
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            const std::uint8_t* a = actual.row(y) + 3 * x;
            const std::uint8_t* e = expected.row(y) + 3 * x;
            bool same = true;
            for (int c = 0; c < 3; ++c)
                same = same && std::abs(a[c] - e[c]) <= tolerance;
            if (same) continue;
            if (differing++ == 0)
                first << "pixel (" << x << ", " << y << ") is " << +a[0] << "," << +a[1] << ","
                      << +a[2] << ", expected " << +e[0] << "," << +e[1] << "," << +e[2];
        }
    }
    if (differing == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << differing << " pixels differ; first: " << first.str();
}

RgbImage MakeImage(int width, int height, std::initializer_list<std::uint32_t> pixels) {
    RgbImage image;
    EXPECT_EQ(pixels.size(), static_cast<std::size_t>(width) * height);
    if (image.AllocatePixels(width, height) != 0) return image;
    std::uint8_t* p = image.data();
    for (std::uint32_t rgb : pixels) {
        if (p == image.data() + image.byteCount()) break;
        *p++ = static_cast<std::uint8_t>(rgb >> 16);
        *p++ = static_cast<std::uint8_t>(rgb >> 8);
        *p++ = static_cast<std::uint8_t>(rgb);
    }
    return image;
}

Bytes& Bytes::U8(unsigned v) {
    bytes_.push_back(static_cast<std::uint8_t>(v));
    return *this;
}

Bytes& Bytes::U16(unsigned v) {
    return U8(v).U8(v >> 8);
}

Bytes& Bytes::U32(std::uint32_t v) {
    return U16(v & 0xFFFF).U16(v >> 16);
}

Bytes& Bytes::Raw(std::initializer_list<std::uint8_t> bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

Bytes& Bytes::Fill(std::size_t count, std::uint8_t value) {
    bytes_.insert(bytes_.end(), count, value);
    return *this;
}

RgbImage NoiseImage(int width, int height, unsigned seed) {
    RgbImage image;
    EXPECT_EQ(image.AllocatePixels(width, height), err::kNone);
    std::mt19937 random(seed);
    for (std::size_t i = 0; i < image.byteCount(); ++i) {
        image.data()[i] = static_cast<std::uint8_t>(random());
    }
    return image;
}

std::vector<std::uint8_t> PixelBytes(const RgbImage& image) {
    return {image.data(), image.data() + image.byteCount()};
}

}  // namespace orbelune::test

namespace orbelune::test {

bool HaveTools(std::initializer_list<const char*> tools) {
    for (const char* tool : tools)
        if (std::system(("command -v " + std::string(tool) + " >/dev/null 2>&1").c_str()) != 0)
            return false;
    return true;
}

bool RunTool(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    EXPECT_EQ(status, 0) << command;
    return status == 0;
}

void WritePpm(const std::string& path, const RgbImage& image) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << image.width() << ' ' << image.height() << "\n255\n";
    out.write(reinterpret_cast<const char*>(image.data()),
              static_cast<std::streamsize>(image.byteCount()));
    ASSERT_TRUE(out.good()) << path;
}

}  // namespace orbelune::test
