#include "platform/quicktime/atom_container.h"

#include <gtest/gtest.h>

#include "platform/quicktime/movie_test_helpers.h"

namespace orbelune::qt {
namespace {

using test::ParseAtomContainer;

std::vector<std::uint8_t> Bytes(std::size_t n, std::uint8_t fill) {
    return std::vector<std::uint8_t>(n, fill);
}

TEST(AtomContainer, SerialisesTreeWithSizesIdsAndChildCounts) {
    AtomContainer c;
    QTAtom imaging = 0, nodes = 0, node = 0;
    ASSERT_EQ(c.InsertChild(kParentAtomIsContainer, MakeFourCC("vrsc"), 1, 1, Bytes(24, 0xA1)), 0);
    ASSERT_EQ(c.InsertChild(kParentAtomIsContainer, MakeFourCC("imgp"), 1, 1, {}, &imaging), 0);
    ASSERT_EQ(c.InsertChild(imaging, MakeFourCC("impn"), 0, 0, Bytes(56, 0xB1)), 0);
    ASSERT_EQ(c.InsertChild(imaging, MakeFourCC("impn"), 0, 0, Bytes(56, 0xB2)), 0);
    ASSERT_EQ(c.InsertChild(kParentAtomIsContainer, MakeFourCC("vrnp"), 1, 1, {}, &nodes), 0);
    ASSERT_EQ(c.InsertChild(nodes, MakeFourCC("vrni"), 1, 0, {}, &node), 0);
    ASSERT_EQ(c.InsertChild(node, MakeFourCC("nloc"), 1, 1, Bytes(24, 0xC1)), 0);

    const std::vector<std::uint8_t> bytes = c.Serialize();
    // The sizes of the published worked example: root 320, whole container 332.
    EXPECT_EQ(bytes.size(), 332u);
    EXPECT_EQ(c.SerializedSize(), bytes.size());

    const test::QtAtom root = ParseAtomContainer(bytes);
    EXPECT_EQ(root.type, "sean");
    EXPECT_EQ(root.id, 1u);
    ASSERT_EQ(root.children.size(), 3u);
    EXPECT_EQ(root.children[0].type, "vrsc");
    EXPECT_EQ(root.children[0].data, Bytes(24, 0xA1));
    const test::QtAtom& imgp = root.children[1];
    ASSERT_EQ(imgp.children.size(), 2u);
    // ID 0 asks for fresh IDs; order of insertion is kept.
    EXPECT_EQ(imgp.children[0].id, 1u);
    EXPECT_EQ(imgp.children[1].id, 2u);
    EXPECT_EQ(imgp.children[1].data, Bytes(56, 0xB2));
    const test::QtAtom& vrni = root.children[2].children.at(0);
    EXPECT_EQ(vrni.type, "vrni");
    EXPECT_EQ(vrni.children.at(0).type, "nloc");
    EXPECT_EQ(test::Be32(bytes, 12 + 20), 44u);  // vrsc: 20 + 24
}

TEST(AtomContainer, IndexPlacesAmongSameTypeSiblings) {
    AtomContainer c;
    ASSERT_EQ(c.InsertChild(0, MakeFourCC("aaaa"), 1, 0, Bytes(1, 1)), 0);
    ASSERT_EQ(c.InsertChild(0, MakeFourCC("bbbb"), 1, 0, Bytes(1, 2)), 0);
    ASSERT_EQ(c.InsertChild(0, MakeFourCC("aaaa"), 2, 1, Bytes(1, 3)), 0);  // before the first
    const test::QtAtom root = ParseAtomContainer(c.Serialize());
    ASSERT_EQ(root.children.size(), 3u);
    EXPECT_EQ(root.children[0].id, 2u);
    EXPECT_EQ(root.children[1].id, 1u);
    EXPECT_EQ(root.children[2].type, "bbbb");
    EXPECT_EQ(c.FindChildByIndex(0, MakeFourCC("aaaa"), 2), 1);
    EXPECT_EQ(c.CountChildren(0), 3);
    EXPECT_EQ(c.CountChildren(0, MakeFourCC("aaaa")), 2);
}

TEST(AtomContainer, RefusesInvalidInsertions) {
    AtomContainer c;
    QTAtom leaf = 0;
    ASSERT_EQ(c.InsertChild(0, MakeFourCC("leaf"), 1, 0, Bytes(4, 9), &leaf), 0);
    EXPECT_EQ(c.InsertChild(0, MakeFourCC("leaf"), 1, 0, {}), oserr::kDuplicateAtomTypeAndId);
    EXPECT_EQ(c.InsertChild(leaf, MakeFourCC("kid "), 1, 0, {}), oserr::kInvalidAtom);
    EXPECT_EQ(c.InsertChild(99, MakeFourCC("kid "), 1, 0, {}), oserr::kInvalidAtom);
    EXPECT_EQ(c.InsertChild(0, MakeFourCC("leaf"), 2, 3, {}), oserr::kInvalidAtomIndex);
    // Nothing of the refused calls reached the bytes.
    EXPECT_EQ(c.Serialize().size(), 12u + 20u + 24u);
}

}  // namespace
}  // namespace orbelune::qt
