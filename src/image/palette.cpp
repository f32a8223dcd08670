#include <algorithm>
#include <cstdint>
#include <vector>

#include "image/rgb_image.h"

namespace orbelune {

namespace {

constexpr int kPaletteSize = 256;

std::uint32_t Pack(const std::uint8_t* px) {
    return (static_cast<std::uint32_t>(px[0]) << 16) | (static_cast<std::uint32_t>(px[1]) << 8) |
           px[2];
}

// All distinct colours of the picture, ascending, when there are at most
// kPaletteSize of them; false as soon as there are more (a photograph stops
// after a few hundred pixels).
bool CollectFewColours(const std::uint8_t* pixels, std::size_t pixelCount,
                       std::vector<std::uint32_t>& colours) {
    constexpr std::uint32_t kUnused = 0xFFFFFFFFu;  // not a 24-bit colour
    constexpr std::size_t kSlots = 1024;            // a quarter full at most
    std::vector<std::uint32_t> slots(kSlots, kUnused);
    std::size_t count = 0;
    std::uint32_t previous = kUnused;
    for (std::size_t i = 0; i < pixelCount; ++i) {
        const std::uint32_t colour = Pack(pixels + i * 3);
        if (colour == previous) continue;
        previous = colour;
        std::size_t slot = (colour * 2654435761u) >> 22;  // top 10 bits of the product
        while (slots[slot] != kUnused && slots[slot] != colour)
            slot = (slot + 1) % kSlots;
        if (slots[slot] == colour) continue;
        if (++count > kPaletteSize) return false;
        slots[slot] = colour;
    }
    colours.clear();
    for (std::uint32_t colour : slots) {
        if (colour != kUnused) colours.push_back(colour);
    }
    std::sort(colours.begin(), colours.end());
    return true;
}

// Median cut over a 5-bit-per-channel histogram of the picture.
constexpr int kBits = 5;
constexpr int kSide = 1 << kBits;

struct Bin {
    std::uint32_t count = 0;
    std::uint64_t sum[3] = {0, 0, 0};
};

inline int BinIndex(int r, int g, int b) {
    return (r * kSide + g) * kSide + b;
}

struct Box {
    int low[3];
    int high[3];  // inclusive
    std::uint64_t count = 0;

    int Length(int axis) const { return high[axis] - low[axis] + 1; }
    std::uint64_t Volume() const {
        return static_cast<std::uint64_t>(Length(0)) * Length(1) * Length(2);
    }
    bool Splittable() const { return Length(0) > 1 || Length(1) > 1 || Length(2) > 1; }
};

class MedianCut {
public:
    explicit MedianCut(std::vector<Bin> bins) : bins_(std::move(bins)) {}

    // Shrinks the box to its occupied bins and counts its pixels; false when it is empty.
    bool Shrink(Box& box) const {
        int low[3] = {kSide, kSide, kSide};
        int high[3] = {-1, -1, -1};
        std::uint64_t count = 0;
        for (int r = box.low[0]; r <= box.high[0]; ++r) {
            for (int g = box.low[1]; g <= box.high[1]; ++g) {
                for (int b = box.low[2]; b <= box.high[2]; ++b) {
                    const std::uint32_t n =
                        bins_[static_cast<std::size_t>(BinIndex(r, g, b))].count;
                    if (n == 0) continue;
                    count += n;
                    const int at[3] = {r, g, b};
                    for (int axis = 0; axis < 3; ++axis) {
                        low[axis] = std::min(low[axis], at[axis]);
                        high[axis] = std::max(high[axis], at[axis]);
                    }
                }
            }
        }
        if (count == 0) return false;
        for (int axis = 0; axis < 3; ++axis) {
            box.low[axis] = low[axis];
            box.high[axis] = high[axis];
        }
        box.count = count;
        return true;
    }

    // Splits along the longest side where the cumulative count passes half.
    void Split(const Box& box, Box& first, Box& second) const {
        int axis = 0;
        for (int a = 1; a < 3; ++a) {
            if (box.Length(a) > box.Length(axis)) axis = a;
        }
        std::vector<std::uint64_t> slices(static_cast<std::size_t>(box.Length(axis)), 0);
        for (int r = box.low[0]; r <= box.high[0]; ++r) {
            for (int g = box.low[1]; g <= box.high[1]; ++g) {
                for (int b = box.low[2]; b <= box.high[2]; ++b) {
                    const int at[3] = {r, g, b};
                    slices[static_cast<std::size_t>(at[axis] - box.low[axis])] +=
                        bins_[static_cast<std::size_t>(BinIndex(r, g, b))].count;
                }
            }
        }
        // The cut leaves at least one slice on each side.
        int cut = box.low[axis];
        std::uint64_t running = 0;
        for (int i = 0; i + 1 < box.Length(axis); ++i) {
            running += slices[static_cast<std::size_t>(i)];
            cut = box.low[axis] + i;
            if (running * 2 >= box.count) break;
        }
        first = box;
        second = box;
        first.high[axis] = cut;
        second.low[axis] = cut + 1;
    }

    PaletteEntry Average(const Box& box) const {
        std::uint64_t sum[3] = {0, 0, 0};
        std::uint64_t count = 0;
        for (int r = box.low[0]; r <= box.high[0]; ++r) {
            for (int g = box.low[1]; g <= box.high[1]; ++g) {
                for (int b = box.low[2]; b <= box.high[2]; ++b) {
                    const Bin& bin = bins_[static_cast<std::size_t>(BinIndex(r, g, b))];
                    count += bin.count;
                    for (int c = 0; c < 3; ++c)
                        sum[c] += bin.sum[c];
                }
            }
        }
        PaletteEntry entry;
        if (count == 0) return entry;
        entry.red = static_cast<std::uint8_t>((sum[0] + count / 2) / count);
        entry.green = static_cast<std::uint8_t>((sum[1] + count / 2) / count);
        entry.blue = static_cast<std::uint8_t>((sum[2] + count / 2) / count);
        return entry;
    }

private:
    std::vector<Bin> bins_;
};

// Picks the box to split next: by population first, then by population times
// volume, so that large sparse regions of colour space also get entries.
int ChooseBox(const std::vector<Box>& boxes, bool byVolume) {
    int chosen = -1;
    std::uint64_t best = 0;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const Box& box = boxes[i];
        if (!box.Splittable()) continue;
        const std::uint64_t score = byVolume ? box.count * box.Volume() : box.count;
        if (chosen < 0 || score > best) {
            chosen = static_cast<int>(i);
            best = score;
        }
    }
    return chosen;
}

void QuantiseManyColours(const std::uint8_t* pixels, int width, int height,
                         DisplayPalette& palette) {
    // A grid of at most about a million samples is plenty for 256 entries.
    const int columnStep = std::max(1, (width + 1023) / 1024);
    const int rowStep = std::max(1, (height + 1023) / 1024);
    std::vector<Bin> bins(static_cast<std::size_t>(kSide * kSide * kSide));
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    for (int y = 0; y < height; y += rowStep) {
        const std::uint8_t* row = pixels + stride * static_cast<std::size_t>(y);
        for (int x = 0; x < width; x += columnStep) {
            const std::uint8_t* px = row + static_cast<std::size_t>(x) * 3;
            Bin& bin = bins[static_cast<std::size_t>(
                BinIndex(px[0] >> (8 - kBits), px[1] >> (8 - kBits), px[2] >> (8 - kBits)))];
            ++bin.count;
            for (int c = 0; c < 3; ++c)
                bin.sum[c] += px[c];
        }
    }

    MedianCut cut(std::move(bins));
    std::vector<Box> boxes;
    Box all{{0, 0, 0}, {kSide - 1, kSide - 1, kSide - 1}, 0};
    if (!cut.Shrink(all)) return;
    boxes.push_back(all);
    const std::size_t byCountUntil = kPaletteSize * 3 / 4;
    while (boxes.size() < kPaletteSize) {
        const int index = ChooseBox(boxes, boxes.size() >= byCountUntil);
        if (index < 0) break;  // every box is a single bin
        Box first;
        Box second;
        cut.Split(boxes[static_cast<std::size_t>(index)], first, second);
        // Both halves hold pixels: the cut lies between occupied slices.
        cut.Shrink(first);
        cut.Shrink(second);
        boxes[static_cast<std::size_t>(index)] = first;
        boxes.push_back(second);
    }
    for (std::size_t i = 0; i < boxes.size(); ++i)
        palette[i] = cut.Average(boxes[i]);
}

}  // namespace

void RgbImage::BuildDisplayPalette() {
    DisplayPalette palette{};  // entries the quantiser leaves unused stay black, flags 0
    if (!empty()) {
        std::vector<std::uint32_t> colours;
        const std::size_t pixelCount = static_cast<std::size_t>(width_) * height_;
        if (CollectFewColours(pixels_.get(), pixelCount, colours)) {
            for (std::size_t i = 0; i < colours.size(); ++i) {
                palette[i].red = static_cast<std::uint8_t>(colours[i] >> 16);
                palette[i].green = static_cast<std::uint8_t>(colours[i] >> 8);
                palette[i].blue = static_cast<std::uint8_t>(colours[i]);
            }
        } else {
            QuantiseManyColours(pixels_.get(), width_, height_, palette);
        }
    }
    SetPalette(palette);
}

}  // namespace orbelune
