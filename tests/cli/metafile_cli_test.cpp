#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_run.h"
#include "image/file_io.h"
#include "image/image_format.h"
#include "image/rgb_image.h"

namespace orbelune {
namespace {

// The child's settings folder (its output lands beside it).
std::string ConfigIn(const TempFolder& temp) {
    const std::string config = temp.path() + "/config";
    std::filesystem::create_directories(config);
    return config;
}

testing::CliResult RunCli(const std::vector<std::string>& args, const TempFolder& temp) {
    return testing::RunCli(args, ConfigIn(temp));
}

void Put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// An EMF with a 50.8 x 12.7 mm frame (192 x 48 pixels) and one red rectangle.
std::vector<std::uint8_t> WideEmf() {
    std::vector<std::uint8_t> b;
    for (std::uint32_t v : {1u,
                            108u,
                            0u,
                            0u,
                            192u,
                            48u,
                            0u,
                            0u,
                            5080u,
                            1270u,
                            0x464D4520u,
                            0x10000u,
                            108u + 24u + 24u + 12u + 20u,
                            5u,
                            2u,
                            0u,
                            0u,
                            0u,
                            960u,
                            960u,
                            254u,
                            254u,
                            0u,
                            0u,
                            0u,
                            254000u,
                            254000u})
        Put32(b, v);
    for (std::uint32_t v : {39u, 24u, 1u,  0u,  0x0000FFu, 0u,   // red solid brush
                            37u, 12u, 1u,                        // selected
                            43u, 24u, 10u, 10u, 100u,      40u,  // rectangle
                            14u, 20u, 0u,  16u, 20u})            // EOF
        Put32(b, v);
    return b;
}

TEST(MetafileCli, InfoAndConvertReadMetafilesWithoutPrintingAnythingElse) {
    TempFolder temp;
    const std::string emf = temp.path() + "/wide.emf";
    const std::vector<std::uint8_t> bytes = WideEmf();
    ASSERT_EQ(WriteFileAtomically(emf, bytes.data(), bytes.size()), err::kNone);

    const testing::CliResult info = RunCli({"info", emf}, temp);
    EXPECT_EQ(info.exitCode, 0);
    EXPECT_EQ(info.out, "format=20 width=192 height=48 kind=panorama\n");
    EXPECT_EQ(info.err, "");

    const std::string png = temp.path() + "/wide.png";
    const testing::CliResult convert = RunCli({"convert", emf, "-o", png}, temp);
    EXPECT_EQ(convert.exitCode, 0);
    EXPECT_EQ(convert.err, "");
    RgbImage image;
    ASSERT_EQ(image.LoadImageFile(png), err::kNone);
    EXPECT_EQ(image.width(), 192);
    const std::uint8_t* inside = image.row(25) + 50 * 3;
    EXPECT_EQ(inside[0], 0xFF);
    EXPECT_EQ(inside[1], 0x00);
}

// A placeable WMF of 100 x 100 units at 96 an inch with a text line (fonts
// are where libraries like to talk).
std::vector<std::uint8_t> SquareWmf() {
    std::vector<std::uint8_t> b;
    const auto u16 = [&b](unsigned v) {
        b.push_back(static_cast<std::uint8_t>(v));
        b.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    u16(0xCDD7), u16(0x9AC6), u16(0), u16(0), u16(0), u16(100), u16(100), u16(96), u16(0), u16(0);
    u16(0);
    u16(1), u16(9), u16(0x300), u16(9 + 15 + 4 + 7 + 3), u16(0), u16(1), u16(15), u16(0), u16(0);
    u16(15), u16(0), u16(0x2FB), u16(0xFFEC), u16(0), u16(0), u16(0), u16(400), u16(0), u16(0);
    u16(0), u16(0), u16('A' | 'r' << 8), u16('i' | 'a' << 8), u16('l');  // CREATEFONTINDIRECT
    u16(4), u16(0), u16(0x12D), u16(0);                                  // SELECTOBJECT
    u16(7), u16(0), u16(0x521), u16(2), u16('O' | 'K' << 8), u16(40), u16(10);  // TEXTOUT
    u16(3), u16(0), u16(0);
    return b;
}

TEST(MetafileCli, WmfInfoPrintsOnlyTheAnswer) {
    TempFolder temp;
    const std::string wmf = temp.path() + "/square.wmf";
    const std::vector<std::uint8_t> bytes = SquareWmf();
    ASSERT_EQ(WriteFileAtomically(wmf, bytes.data(), bytes.size()), err::kNone);
    const testing::CliResult info = RunCli({"info", wmf}, temp);
    EXPECT_EQ(info.exitCode, 0);
    EXPECT_EQ(info.out, "format=19 width=100 height=100 kind=ring\n");
    EXPECT_EQ(info.err, "");
}

TEST(MetafileCli, DamagedMetafileIsNamedWithItsReason) {
    TempFolder temp;
    std::vector<std::uint8_t> bytes = WideEmf();
    bytes.resize(bytes.size() - 20);  // no EOF record
    const std::string emf = temp.path() + "/cut.emf";
    ASSERT_EQ(WriteFileAtomically(emf, bytes.data(), bytes.size()), err::kNone);
    // `info` reads the header only; a conversion meets the damage.
    const testing::CliResult convert =
        RunCli({"convert", emf, "-o", temp.path() + "/cut.png"}, temp);
    EXPECT_EQ(convert.exitCode, 1);
    EXPECT_EQ(convert.err,
              "orbelune-cli: \"cut.emf\" is an EMF file, but it is damaged (invalid "
              "windows metafile).\n");
}

}  // namespace
}  // namespace orbelune
