#include "session/session.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <filesystem>
#include <string>

#include "image/adjustments.h"
#include "platform/settings_keys.h"
#include "platform/settings_store.h"
#include "unwarp/unwarp.h"

namespace {

using orbelune::Outcome;
using orbelune::RgbImage;
using orbelune::Session;

RgbImage Pattern(int width, int height, int seed = 0) {
    RgbImage image;
    EXPECT_EQ(image.AllocatePixels(width, height), orbelune::err::kNone);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width * 3; ++x)
            image.row(y)[x] = static_cast<std::uint8_t>(30 + (x * 5 + y * 11 + seed) % 190);
    return image;
}

bool SamePixels(const RgbImage& a, const RgbImage& b) {
    return a.width() == b.width() && a.height() == b.height() &&
           std::equal(a.data(), a.data() + a.byteCount(), b.data());
}

TEST(UndoHistoryTest, KeepsTheNewestStatesUpToItsLevels) {
    orbelune::UndoHistory history(2);
    history.Push(Pattern(4, 1));
    history.Push(Pattern(4, 2));
    history.Push(Pattern(4, 3));  // the oldest goes
    EXPECT_EQ(history.size(), 2u);
    RgbImage state;
    ASSERT_TRUE(history.Pop(state));
    EXPECT_EQ(state.height(), 3);
    ASSERT_TRUE(history.Pop(state));
    EXPECT_EQ(state.height(), 2);
    EXPECT_FALSE(history.Pop(state));

    orbelune::UndoHistory none(0);
    none.Push(Pattern(4, 1));
    EXPECT_TRUE(none.empty());
}

class SessionTest : public ::testing::Test {
protected:
    void Panorama(int width, int height) {
        session.TakePanoramaFile(Pattern(width, height));
        ASSERT_TRUE(session.NewPanorama().ok());
    }

    orbelune::MemorySettingsStore store;
    Session session{store};
};

TEST_F(SessionTest, CropAndUndoWalkOneLevelBackAsTheUndoButtonDoes) {
    Panorama(40, 30);
    const RgbImage original = session.images().base;
    EXPECT_FALSE(session.CanUndo());
    EXPECT_EQ(session.Undo().code, Session::kNothingToUndo);

    session.cropLines().Set(5, 14);
    ASSERT_TRUE(session.Crop().ok());
    EXPECT_EQ(session.current().height(), 10);
    EXPECT_EQ(session.images().base.height(), 10);
    EXPECT_TRUE(session.CanUndo());
    // The lines show the whole cropped picture again.
    EXPECT_EQ(session.cropLines().top(), 0);
    EXPECT_EQ(session.cropLines().bottom(), 9);

    // A second crop replaces the one level there is.
    session.cropLines().Set(2, 5);
    ASSERT_TRUE(session.Crop().ok());
    ASSERT_TRUE(session.Undo().ok());
    EXPECT_EQ(session.current().height(), 10);
    EXPECT_EQ(session.images().base.height(), 10);
    EXPECT_FALSE(session.CanUndo());
    EXPECT_EQ(session.Undo().code, Session::kNothingToUndo);
    EXPECT_EQ(session.current().height(), 10);
    EXPECT_FALSE(SamePixels(session.current(), original));
}

TEST_F(SessionTest, CropRefusalsSayWhyAndChangeNothing) {
    Panorama(40, 30);
    session.cropLines().Set(20, 10);
    const Outcome inverted = session.Crop();
    EXPECT_FALSE(inverted.ok());
    EXPECT_EQ(inverted.message, "Crop lines values are invalid.");
    EXPECT_EQ(inverted.tell, Outcome::Tell::Stop);
    EXPECT_EQ(session.current().height(), 30);
    EXPECT_FALSE(session.CanUndo());

    session.cropLines().Clear();  // lines hidden: nothing to crop to
    EXPECT_FALSE(session.Crop().ok());
    EXPECT_TRUE(session.Crop().message.empty());
}

TEST_F(SessionTest, AdjustStartsFromTheBaseEachTimeAndAFailureShowsTheBase) {
    Panorama(30, 20);
    orbelune::PanoAdjustments bright = orbelune::AdjustmentsFromSliders({0, 80, 50, 100});
    ASSERT_TRUE(session.Adjust(bright).ok());
    ASSERT_TRUE(session.Adjust(bright).ok());
    RgbImage once;
    ASSERT_EQ(orbelune::ApplyAdjustmentsTo(session.images().base, bright, once),
              orbelune::err::kNone);
    EXPECT_TRUE(SamePixels(session.current(), once));
    EXPECT_EQ(session.adjustments().brightness, bright.brightness);

    // A failed (or stopped) adjustment never leaves a half-adjusted picture.
    orbelune::AdjustResult stopped;
    stopped.error = orbelune::err::kAborted;
    stopped.adjusted = Pattern(30, 20, 99);
    const Outcome aborted = session.TakeAdjusted(std::move(stopped));
    EXPECT_FALSE(aborted.ok());
    EXPECT_TRUE(aborted.message.empty());
    EXPECT_TRUE(SamePixels(session.current(), session.images().base));

    orbelune::AdjustResult noMemory;
    noMemory.error = orbelune::err::kNoMemory;
    EXPECT_EQ(session.TakeAdjusted(std::move(noMemory)).message, "Out of memory!");
    EXPECT_TRUE(SamePixels(session.current(), session.images().base));
}

TEST_F(SessionTest, UnwarpStoresTheRingAndGivesTheCoreResultTurnedToTheSeam) {
    session.TakeRawPhoto(Pattern(400, 300));
    session.ring() = {200, 150, 30, 140};
    orbelune::Write(store, orbelune::settings::kSeam, 90);
    ASSERT_TRUE(session.Unwarp().ok());
    const orbelune::RingParams stored = orbelune::LoadRingParams(store, 400, 300);
    EXPECT_EQ(stored.XCenter, 200);
    EXPECT_EQ(stored.OuterRadius, 140);

    RgbImage expected;
    ASSERT_EQ(orbelune::Unwarp(session.raw(), session.ring(), session.mirror(), expected), 0);
    orbelune::TurnColumns(expected, orbelune::SeamShift(90, expected.width()));
    EXPECT_TRUE(SamePixels(session.current(), expected));
    EXPECT_TRUE(session.cropLines().shown());
    EXPECT_EQ(session.cropLines().bottom(), expected.height() - 1);

    // A ring that gives no panorama: told in words, the old panorama stays.
    session.ring() = {200, 150, 0, 0};
    const Outcome failed = session.Unwarp();
    EXPECT_EQ(failed.message, "Error unwarping image.");
    EXPECT_TRUE(SamePixels(session.current(), expected));
}

TEST_F(SessionTest, ARingThatDoesNotFitThePhotoIsReplaced) {
    orbelune::RingParams big{3000, 3000, 500, 2500};
    orbelune::StoreRingParams(store, big);
    session.TakeRawPhoto(Pattern(300, 200));  // no ring in it to find
    EXPECT_EQ(session.ringSource(), orbelune::RingSource::Reset);
    const orbelune::RingParams expected = orbelune::DefaultRingFor(300, 200);
    EXPECT_EQ(session.ring().OuterRadius, expected.OuterRadius);
    EXPECT_EQ(session.ring().XCenter, expected.XCenter);
}

TEST_F(SessionTest, SavingTellsTheFailureAndStoresTheMovieSettings) {
    Panorama(30, 20);
    const std::string missing = "/nonexistent-folder-orbelune/pano.bmp";
    const Outcome failed = session.SaveImage(missing, orbelune::ImageFormat::Bmp, false);
    EXPECT_FALSE(failed.ok());
    EXPECT_NE(failed.message.find(missing), std::string::npos);

    const std::string good = (std::filesystem::temp_directory_path() /
                              ("orbelune_session_" + std::to_string(::getpid()) + ".bmp"))
                                 .string();
    EXPECT_TRUE(session.SaveImage(good, orbelune::ImageFormat::Bmp, false).ok());
    RgbImage back;
    ASSERT_EQ(back.LoadImageFile(good), orbelune::err::kNone);
    EXPECT_TRUE(SamePixels(back, session.current()));
    std::filesystem::remove(good);

    session.movieSettings().tiles = 12;
    session.movieSettings().pan = 45;
    session.movieSettings().zoom = 1.5;
    session.StoreMovieSettings();
    EXPECT_EQ(orbelune::Read(store, orbelune::settings::kTiles), 12);
    EXPECT_EQ(orbelune::Read(store, orbelune::settings::kPan), 45);
    EXPECT_EQ(orbelune::Read(store, orbelune::settings::kZoom), 150);

    session.SetFromCustomMirror(true);
    EXPECT_EQ(session.CheckShareable().code, Session::kCustomShare);
    session.SetFromCustomMirror(false);
    EXPECT_TRUE(session.CheckShareable().ok());
}

}  // namespace
