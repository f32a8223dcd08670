#include "platform/quicktime/movie_test_helpers.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

namespace orbelune::qt::test {

std::uint16_t Be16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b.at(at) << 8 | b.at(at + 1));
}

std::uint32_t Be32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint32_t{Be16(b, at)} << 16 | Be16(b, at + 2);
}

std::string Type(std::uint32_t v) {
    std::string s(4, ' ');
    for (int i = 0; i < 4; ++i)
        s[i] = static_cast<char>(v >> (24 - 8 * i));
    return s;
}

namespace {
const std::set<std::string> kContainers = {"moov", "trak", "edts", "mdia", "minf",
                                           "dinf", "stbl", "udta", "tref", "gmhd"};
}

std::vector<Atom> WalkAtoms(const std::vector<std::uint8_t>& bytes, std::size_t begin,
                            std::size_t end) {
    std::vector<Atom> atoms;
    std::size_t at = begin;
    while (at < end) {
        if (end - at < 8) {
            ADD_FAILURE() << "trailing bytes at " << at;
            break;
        }
        Atom atom;
        atom.offset = at;
        atom.size = Be32(bytes, at);
        atom.type = Type(Be32(bytes, at + 4));
        if (atom.size < 8 || atom.size > end - at) {
            ADD_FAILURE() << "atom " << atom.type << " at " << at << " has bad size " << atom.size;
            break;
        }
        if (kContainers.count(atom.type)) {
            atom.children = WalkAtoms(bytes, at + 8, at + atom.size);
        }
        atoms.push_back(atom);
        at += atom.size;
    }
    return atoms;
}

const Atom* Atom::Find(const std::string& path) const {
    const std::size_t slash = path.find('/');
    const std::string head = path.substr(0, slash);
    for (const Atom& child : children) {
        if (child.type != head) continue;
        if (slash == std::string::npos) return &child;
        if (const Atom* found = child.Find(path.substr(slash + 1))) return found;
    }
    return nullptr;
}

std::vector<const Atom*> Atom::All(const std::string& type) const {
    std::vector<const Atom*> out;
    for (const Atom& child : children) {
        if (child.type == type) out.push_back(&child);
    }
    return out;
}

namespace {
QtAtom ParseQtAtom(const std::vector<std::uint8_t>& b, std::size_t at, std::size_t end) {
    QtAtom atom;
    const std::uint32_t size = Be32(b, at);
    atom.type = Type(Be32(b, at + 4));
    atom.id = Be32(b, at + 8);
    EXPECT_EQ(Be16(b, at + 12), 0) << atom.type;
    const std::uint16_t childCount = Be16(b, at + 14);
    EXPECT_EQ(Be32(b, at + 16), 0u) << atom.type;
    EXPECT_GE(size, 20u);
    EXPECT_LE(at + size, end) << atom.type;
    if (size < 20 || at + size > end) return atom;
    if (childCount == 0) {
        atom.data.assign(b.begin() + static_cast<long>(at + 20),
                         b.begin() + static_cast<long>(at + size));
        return atom;
    }
    std::size_t child = at + 20;
    for (int i = 0; i < childCount && child < at + size; ++i) {
        atom.children.push_back(ParseQtAtom(b, child, at + size));
        child += Be32(b, child);
    }
    EXPECT_EQ(child, at + size) << "children of " << atom.type << " do not fill it";
    EXPECT_EQ(atom.children.size(), childCount) << atom.type;
    return atom;
}
}  // namespace

QtAtom ParseAtomContainer(const std::vector<std::uint8_t>& bytes) {
    EXPECT_GE(bytes.size(), 32u);
    if (bytes.size() < 32) return {};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(bytes[i], 0) << "container header byte " << i;
    EXPECT_EQ(Be32(bytes, 12), bytes.size() - 12) << "root atom size";
    return ParseQtAtom(bytes, 12, bytes.size());
}

RgbImage TestPicture(int width, int height) {
    RgbImage image;
    // An empty picture on failure, which every test using it then notices.
    if (image.AllocatePixels(width, height) != err::kNone) return image;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = image.row(y) + x * 3;
            p[0] = static_cast<std::uint8_t>(40 + 170 * x / width);
            p[1] = static_cast<std::uint8_t>(40 + 170 * y / height);
            p[2] = static_cast<std::uint8_t>(128 + 80 * std::sin((x + 2 * y) / 9.0));
        }
    }
    return image;
}

double Psnr(const std::uint8_t* a, const std::uint8_t* b, std::size_t size) {
    double sum = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const double d = static_cast<double>(a[i]) - static_cast<double>(b[i]);
        sum += d * d;
    }
    if (sum == 0) return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 / (sum / static_cast<double>(size)));
}

TempDir::TempDir() {
    EXPECT_TRUE(folder_.valid());
}

std::vector<std::string> TempDir::List() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path())) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

bool HaveTool(const std::string& name) {
    int status = 0;
    Run("command -v " + name + " >/dev/null 2>&1 && echo yes", status);
    return status == 0;
}

std::string Run(const std::string& command, int& status) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        status = -1;
        return out;
    }
    char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, got);
    const int raw = ::pclose(pipe);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace orbelune::qt::test
