#include "platform/quicktime/atom_container.h"

#include <algorithm>
#include <new>

#include "platform/quicktime/byte_writer.h"

namespace orbelune::qt {

namespace {
constexpr std::size_t kContainerHeaderSize = 12;
constexpr std::size_t kAtomHeaderSize = 20;
}  // namespace

AtomContainer::AtomContainer() {
    Node root;
    root.type = kRootAtomType;
    root.id = 1;
    root.valid = true;
    nodes_.push_back(std::move(root));
}

OSErr AtomContainer::InsertChild(QTAtom parent, FourCC type, QTAtomID id, int index,
                                 std::span<const std::uint8_t> data, QTAtom* newAtom) {
    if (newAtom) *newAtom = 0;
    if (const OSErr fault = InjectedFault(FaultStep::kAtomInsert)) return fault;
    if (parent < 0 || static_cast<std::size_t>(parent) >= nodes_.size() || !nodes_[parent].valid ||
        !nodes_[parent].data.empty() || type == 0 || id < 0) {
        return oserr::kInvalidAtom;
    }
    // The child count is a 16-bit field.
    if (nodes_[parent].children.size() >= 0xFFFF) return oserr::kInvalidAtom;
    std::vector<QTAtom> sameType;
    for (QTAtom child : nodes_[parent].children) {
        if (nodes_[child].type == type) sameType.push_back(child);
    }
    if (index < 0 || index > static_cast<int>(sameType.size()) + 1) return oserr::kInvalidAtomIndex;
    auto idTaken = [&](QTAtomID candidate) {
        return std::any_of(sameType.begin(), sameType.end(),
                           [&](QTAtom a) { return nodes_[a].id == candidate; });
    };
    if (id == 0) {
        id = 1;
        while (idTaken(id))
            ++id;
    } else if (idTaken(id)) {
        return oserr::kDuplicateAtomTypeAndId;
    }
    try {
        Node node;
        node.type = type;
        node.id = id;
        node.data.assign(data.begin(), data.end());
        node.valid = true;
        const QTAtom atom = static_cast<QTAtom>(nodes_.size());
        // Position: before the index-th same-type sibling, else at the end.
        auto& children = nodes_[parent].children;
        auto where = children.end();
        if (index >= 1 && index <= static_cast<int>(sameType.size())) {
            where = std::find(children.begin(), children.end(), sameType[index - 1]);
        }
        children.insert(where, atom);
        nodes_.push_back(std::move(node));
        if (newAtom) *newAtom = atom;
    } catch (const std::bad_alloc&) {
        return oserr::kMemFullErr;
    }
    return oserr::kNoErr;
}

int AtomContainer::CountChildren(QTAtom parent, FourCC type) const {
    if (parent < 0 || static_cast<std::size_t>(parent) >= nodes_.size()) return 0;
    return static_cast<int>(
        std::count_if(nodes_[parent].children.begin(), nodes_[parent].children.end(),
                      [&](QTAtom a) { return type == 0 || nodes_[a].type == type; }));
}

QTAtom AtomContainer::FindChildByIndex(QTAtom parent, FourCC type, int index) const {
    if (parent < 0 || static_cast<std::size_t>(parent) >= nodes_.size() || index < 1) return 0;
    for (QTAtom child : nodes_[parent].children) {
        if (nodes_[child].type == type && --index == 0) return child;
    }
    return 0;
}

QTAtomID AtomContainer::AtomId(QTAtom atom) const {
    if (atom < 0 || static_cast<std::size_t>(atom) >= nodes_.size()) return 0;
    return nodes_[atom].id;
}

const std::vector<std::uint8_t>* AtomContainer::AtomData(QTAtom atom) const {
    if (atom < 0 || static_cast<std::size_t>(atom) >= nodes_.size()) return nullptr;
    return &nodes_[atom].data;
}

std::size_t AtomContainer::AtomSize(QTAtom atom) const {
    std::size_t size = kAtomHeaderSize + nodes_[atom].data.size();
    for (QTAtom child : nodes_[atom].children)
        size += AtomSize(child);
    return size;
}

std::size_t AtomContainer::SerializedSize() const {
    return kContainerHeaderSize + AtomSize(0);
}

void AtomContainer::Write(QTAtom atom, std::vector<std::uint8_t>& out) const {
    const Node& node = nodes_[atom];
    detail::ByteWriter w;
    w.U32(static_cast<std::uint32_t>(AtomSize(atom)));
    w.U32(node.type);
    w.I32(node.id);
    w.U16(0);
    w.U16(static_cast<std::uint16_t>(node.children.size()));
    w.U32(0);
    w.Bytes(node.data);
    out.insert(out.end(), w.bytes().begin(), w.bytes().end());
    for (QTAtom child : node.children)
        Write(child, out);
}

std::vector<std::uint8_t> AtomContainer::Serialize() const {
    std::vector<std::uint8_t> out(kContainerHeaderSize, 0);
    out.reserve(SerializedSize());
    Write(0, out);
    return out;
}

}  // namespace orbelune::qt
