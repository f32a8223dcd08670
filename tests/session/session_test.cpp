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

orbelune::EditStep CropStep(int height) {
    orbelune::EditStep step;
    step.kind = orbelune::EditStep::Kind::Crop;
    step.base = Pattern(4, height);
    return step;
}

TEST(UndoHistoryTest, KeepsTheNewestStepsWithinItsLevelsAndBytes) {
    orbelune::UndoHistory history(2);
    history.Push(CropStep(1));
    history.Push(CropStep(2));
    history.Push(CropStep(3));  // the oldest goes
    EXPECT_EQ(history.size(), 2u);
    orbelune::EditStep step;
    ASSERT_TRUE(history.Pop(step));
    EXPECT_EQ(step.base.height(), 3);
    ASSERT_TRUE(history.Pop(step));
    EXPECT_EQ(step.base.height(), 2);
    EXPECT_FALSE(history.Pop(step));

    orbelune::UndoHistory none(0);
    none.Push(CropStep(1));
    EXPECT_TRUE(none.empty());

    // 4 x 10 pixels are 120 bytes: two such pictures pass a 250-byte budget,
    // a third pushes the oldest out; adjustments weigh nothing.
    orbelune::UndoHistory small(20, 250);
    small.Push(CropStep(10));
    small.Push(orbelune::EditStep{});
    small.Push(CropStep(10));
    EXPECT_EQ(small.size(), 3u);
    small.Push(CropStep(10));
    EXPECT_EQ(small.size(), 3u);
    EXPECT_EQ(small.bytes(), 240u);
    // The newest stays whatever it weighs.
    small.Push(CropStep(100));
    EXPECT_EQ(small.size(), 1u);
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

TEST_F(SessionTest, UndoAndRedoWalkThroughCropsAndAdjustmentsInOrder) {
    Panorama(40, 30);
    const RgbImage original = session.images().base;
    EXPECT_FALSE(session.CanUndo());
    EXPECT_FALSE(session.CanRedo());
    EXPECT_EQ(session.Undo().code, Session::kNothingToUndo);
    EXPECT_EQ(session.Redo().code, Session::kNothingToUndo);

    session.cropLines().Set(5, 14);
    ASSERT_TRUE(session.Crop().ok());
    EXPECT_EQ(session.current().height(), 10);
    EXPECT_EQ(session.images().base.height(), 10);
    EXPECT_TRUE(session.CanUndo());
    // The lines show the whole cropped picture again.
    EXPECT_EQ(session.cropLines().top(), 0);
    EXPECT_EQ(session.cropLines().bottom(), 9);
    const RgbImage firstCrop = session.images().base;

    const orbelune::SliderPositions brighter{0, 80, 50, 100};
    static_cast<void>(session.PrepareAdjust(brighter));
    ASSERT_TRUE(
        session
            .TakeAdjusted(Session::ComputeAdjusted({&session.images().base, session.adjustments()}))
            .ok());
    const RgbImage brightCrop = session.current();
    // The same adjustment again is no new step.
    ASSERT_TRUE(session.Adjust(session.adjustments()).ok());

    session.cropLines().Set(2, 5);
    ASSERT_TRUE(session.Crop().ok());
    EXPECT_EQ(session.images().base.height(), 4);
    EXPECT_EQ(session.undoHistory().size(), 3u);

    // Back: the second crop (adjusted as before it), the adjustment, the first crop.
    ASSERT_TRUE(session.Undo().ok());
    EXPECT_TRUE(SamePixels(session.images().base, firstCrop));
    EXPECT_TRUE(SamePixels(session.current(), brightCrop));
    EXPECT_EQ(session.sliders().brightness, 80);
    ASSERT_TRUE(session.Undo().ok());
    EXPECT_EQ(session.sliders().brightness, 50);
    EXPECT_EQ(session.adjustments().brightness, 0.0);
    EXPECT_TRUE(SamePixels(session.images().base, firstCrop));
    ASSERT_TRUE(session.Undo().ok());
    EXPECT_TRUE(SamePixels(session.images().base, original));
    EXPECT_FALSE(session.CanUndo());
    EXPECT_EQ(session.cropLines().bottom(), 29);

    // Forward again to the same pictures.
    ASSERT_TRUE(session.Redo().ok());
    EXPECT_TRUE(SamePixels(session.images().base, firstCrop));
    ASSERT_TRUE(session.Redo().ok());
    EXPECT_TRUE(SamePixels(session.current(), brightCrop));
    EXPECT_EQ(session.sliders().brightness, 80);
    ASSERT_TRUE(session.Redo().ok());
    EXPECT_EQ(session.images().base.height(), 4);
    EXPECT_FALSE(session.CanRedo());

    // A new edit after an undo drops what could be redone.
    ASSERT_TRUE(session.Undo().ok());
    EXPECT_TRUE(session.CanRedo());
    session.cropLines().Set(0, 4);
    ASSERT_TRUE(session.Crop().ok());
    EXPECT_FALSE(session.CanRedo());
    EXPECT_EQ(session.images().base.height(), 5);

    // A new panorama starts a new history.
    Panorama(40, 30);
    EXPECT_FALSE(session.CanUndo());
}

TEST_F(SessionTest, UnsavedWorkIsEveryEditSinceTheLastSave) {
    Panorama(40, 30);  // a file opened as it is holds nothing new
    EXPECT_FALSE(session.unsaved());
    session.cropLines().Set(5, 14);
    ASSERT_TRUE(session.Crop().ok());
    EXPECT_TRUE(session.unsaved());
    session.SetSaved();
    EXPECT_FALSE(session.unsaved());
    ASSERT_TRUE(session.Adjust(session.adjustments()).ok());  // no change
    EXPECT_FALSE(session.unsaved());
    ASSERT_TRUE(session.Adjust(orbelune::AdjustmentsFromSliders({0, 70, 50, 100})).ok());
    EXPECT_TRUE(session.unsaved());
    session.SetSaved();
    ASSERT_TRUE(session.Undo().ok());
    EXPECT_TRUE(session.unsaved());

    session.TakeRawPhoto(Pattern(400, 300));
    session.ring() = {200, 150, 30, 140};
    ASSERT_TRUE(session.Unwarp().ok());
    EXPECT_TRUE(session.unsaved());
    session.ClearPanorama();
    EXPECT_FALSE(session.unsaved());
}

TEST_F(SessionTest, ACustomMirrorsRowsFollowItsCropsAndUndo) {
    const orbelune::CustomMirror custom{20, -40, false};
    orbelune::StoreCustomMirror(store, custom);
    Panorama(360, 60);
    EXPECT_FALSE(session.knownElevations().has_value());
    session.SetFromCustomMirror(true);
    ASSERT_TRUE(session.knownElevations().has_value());
    const auto expectAt = [&](int cropTop) {
        const orbelune::KnownElevations want =
            orbelune::KnownElevationsForCustomMirror(custom, 60, cropTop);
        ASSERT_TRUE(session.knownElevations().has_value());
        EXPECT_NEAR(session.knownElevations()->topDeg, want.topDeg, 1e-9) << cropTop;
        EXPECT_NEAR(session.knownElevations()->degPerRow, want.degPerRow, 1e-12) << cropTop;
    };
    expectAt(0);
    session.cropLines().Set(10, 49);
    ASSERT_TRUE(session.Crop().ok());
    expectAt(10);
    session.cropLines().Set(5, 30);  // row 5 of the crop is row 15 of the unwarp
    ASSERT_TRUE(session.Crop().ok());
    expectAt(15);
    ASSERT_TRUE(session.Undo().ok());
    expectAt(10);
    ASSERT_TRUE(session.Undo().ok());
    expectAt(0);
    ASSERT_TRUE(session.Redo().ok());
    expectAt(10);

    session.SetFromCustomMirror(false);
    EXPECT_FALSE(session.knownElevations().has_value());
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
}

}  // namespace
