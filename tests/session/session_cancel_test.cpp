#include <gtest/gtest.h>

#include <algorithm>

#include "platform/settings_store.h"
#include "session/session.h"

namespace {

using orbelune::RgbImage;

RgbImage Pattern(int width, int height, int seed) {
    RgbImage image;
    EXPECT_EQ(image.AllocatePixels(width, height), orbelune::err::kNone);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width * 3; ++x)
            image.row(y)[x] = static_cast<std::uint8_t>(20 + (x * 3 + y * 7 + seed) % 200);
    return image;
}

TEST(SessionCancel, ACancelledUnwarpStopsEarlyAndKeepsThePanoramaShown) {
    orbelune::MemorySettingsStore store;
    orbelune::Session session(store);
    session.TakePanoramaFile(Pattern(60, 20, 1));
    ASSERT_TRUE(session.NewPanorama().ok());
    RgbImage before;
    ASSERT_EQ(before.CopyImage(session.current()), orbelune::err::kNone);
    ASSERT_FALSE(before.empty());

    session.TakeRawPhoto(Pattern(800, 600, 2));
    session.ring() = {400, 300, 80, 280};
    int calls = 0;
    int rows = 0;
    const orbelune::Outcome outcome = session.Unwarp([&](int row, int count) {
        ++calls;
        rows = count;
        return row < 2;
    });
    EXPECT_FALSE(outcome.ok());
    EXPECT_GT(rows, 100);
    EXPECT_LT(calls, rows / 2);
    // The panorama the user had is still there, byte for byte.
    ASSERT_EQ(session.current().width(), before.width());
    ASSERT_EQ(session.current().height(), before.height());
    EXPECT_TRUE(
        std::equal(before.data(), before.data() + before.byteCount(), session.current().data()));
}

}  // namespace
