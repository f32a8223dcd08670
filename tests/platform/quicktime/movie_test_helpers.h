#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/file_io.h"
#include "image/rgb_image.h"

// Test-side tools: an independent atom walker, pictures, PSNR and external tools.
namespace orbelune::qt::test {

std::uint16_t Be16(const std::vector<std::uint8_t>& b, std::size_t at);
std::uint32_t Be32(const std::vector<std::uint8_t>& b, std::size_t at);
std::string Type(std::uint32_t fourcc);

// One atom of a movie file: where it is, and its children for container types.
struct Atom {
    std::string type;
    std::size_t offset = 0;  // of the header
    std::size_t size = 0;
    std::size_t body() const { return offset + 8; }
    std::vector<Atom> children;
    // The first descendant along a path such as "trak/mdia/minf".
    const Atom* Find(const std::string& path) const;
    std::vector<const Atom*> All(const std::string& type) const;
};

// Walks the atoms in [begin, end); records failures with ADD_FAILURE when the
// sizes do not tile the range.
std::vector<Atom> WalkAtoms(const std::vector<std::uint8_t>& bytes, std::size_t begin,
                            std::size_t end);

// One QT atom of a container (20-byte headers), checked against its child count.
struct QtAtom {
    std::string type;
    std::uint32_t id = 0;
    std::vector<std::uint8_t> data;
    std::vector<QtAtom> children;
};
// Parses a serialised QT atom container (12-byte header, then the root atom);
// fails the test on a size or child-count mismatch.
QtAtom ParseAtomContainer(const std::vector<std::uint8_t>& bytes);

// A smooth test picture with some detail.
RgbImage TestPicture(int width, int height);
double Psnr(const std::uint8_t* a, const std::uint8_t* b, std::size_t size);

// A fresh folder removed with the object.
class TempDir {
public:
    TempDir();
    const std::string& path() const { return folder_.path(); }
    std::string File(const std::string& name) const { return path() + "/" + name; }
    std::vector<std::string> List() const;

private:
    TempFolder folder_;
};

bool HaveTool(const std::string& name);
// Runs a shell command; its standard output, and the exit code in `status`.
std::string Run(const std::string& command, int& status);

std::vector<std::uint8_t> ReadFile(const std::string& path);

}  // namespace orbelune::qt::test
