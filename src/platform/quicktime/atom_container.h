#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/quicktime/qt_types.h"

namespace orbelune::qt {

using QTAtom = std::int32_t;    // reference to an atom inside one container
using QTAtomID = std::int32_t;  // the ID stored in the atom header
// The parent for atoms placed directly under the container's root.
inline constexpr QTAtom kParentAtomIsContainer = 0;

// A QT atom container. Serialised it is a 12-byte header (10 reserved bytes and
// a 16-bit lock count) followed by one root atom "sean" (ID 1) holding the
// children; every atom has a 20-byte header (size, type, ID, reserved, child
// count, reserved) and either data or children. All numbers big-endian.
class AtomContainer {
public:
    AtomContainer();

    // Inserts a child of `parent` with `type` and `id`. `index` is the 1-based
    // position among the parent's children of that type (0: after the last).
    // ID 0 asks for a fresh ID, unique among same-type siblings. Parents
    // cannot hold data: a child of a leaf with data is kInvalidAtom.
    // Errors: kInvalidAtom (unknown parent), kInvalidAtomIndex,
    // kDuplicateAtomTypeAndId, kMemFullErr.
    [[nodiscard]] OSErr InsertChild(QTAtom parent, FourCC type, QTAtomID id, int index,
                                    std::span<const std::uint8_t> data, QTAtom* newAtom = nullptr);

    // Number of children of `parent` (of `type`, or of any type when type is 0).
    int CountChildren(QTAtom parent, FourCC type = 0) const;
    // The index-th (1-based) child of that type, or 0 when there is none.
    QTAtom FindChildByIndex(QTAtom parent, FourCC type, int index) const;
    QTAtomID AtomId(QTAtom atom) const;
    const std::vector<std::uint8_t>* AtomData(QTAtom atom) const;

    // Container header plus the root atom and its tree.
    std::vector<std::uint8_t> Serialize() const;
    // Size Serialize() will produce.
    std::size_t SerializedSize() const;

private:
    struct Node {
        FourCC type = 0;
        QTAtomID id = 0;
        std::vector<std::uint8_t> data;
        std::vector<QTAtom> children;  // in order
        bool valid = false;
    };
    std::size_t AtomSize(QTAtom atom) const;
    void Write(QTAtom atom, std::vector<std::uint8_t>& out) const;

    std::vector<Node> nodes_;  // node 0 is the root "sean"
};

inline constexpr FourCC kRootAtomType = MakeFourCC("sean");

}  // namespace orbelune::qt
