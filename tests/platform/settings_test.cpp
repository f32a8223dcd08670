#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/qt_settings_store.h"
#include "platform/settings_keys.h"

namespace orbelune {
namespace {

TEST(SettingsUpgrade, FirstStartWritesVersionAndSixDefaultsInOrder) {
    MemorySettingsStore store;
    EXPECT_TRUE(UpgradeSettingsVersion(store));
    const std::vector<std::string> expected{"VERSION/VERSION",
                                            "DEFAULTS/DEFAULT_MOVIE_WIDTH",
                                            "DEFAULTS/DEFAULT_MOVIE_HEIGHT",
                                            "DEFAULTS/DEFAULT_SHARPNESS",
                                            "DEFAULTS/QUALITY",
                                            "DEFAULTS/CORRECTION",
                                            "DEFAULTS/COMPRESSOR"};
    EXPECT_EQ(store.writes(), expected);
    EXPECT_EQ(store.GetString("VERSION", "VERSION", ""), "3.0000");
    EXPECT_FALSE(store.Contains("DEFAULTS", "ZOOM"));
    EXPECT_FALSE(store.Contains("EQUIPMENT", "MIRROR"));
}

TEST(SettingsUpgrade, CurrentVersionIgnoringCaseIsLeftAlone_OlderOverwritesUserValues) {
    MemorySettingsStore store;
    store.SetString("VERSION", "VERSION", "3.0000");
    store.SetInt("DEFAULTS", "QUALITY", 4);
    store.ClearWrites();
    EXPECT_FALSE(UpgradeSettingsVersion(store));
    EXPECT_TRUE(store.writes().empty());

    store.SetString("VERSION", "VERSION", "2.1000");
    EXPECT_TRUE(UpgradeSettingsVersion(store));
    EXPECT_EQ(Read(store, settings::kQuality), 1);
}

class IniStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("orbelune-settings-" +
                std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        path_ = (dir_ / "Orbelune.ini").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path dir_;
    std::string path_;
};

TEST_F(IniStoreTest, ValuesSurviveAndAreSeenByASecondInstance) {
    QtSettingsStore writer(path_);
    QtSettingsStore reader(path_);
    EXPECT_EQ(reader.GetInt("DEFAULTS", "OuterRadius", 300), 300);
    writer.SetInt("DEFAULTS", "OuterRadius", 412);
    writer.SetString("VERSION", "VERSION", "3.0000");
    EXPECT_EQ(reader.GetInt("DEFAULTS", "OuterRadius", 300), 412);
    EXPECT_EQ(reader.GetString("VERSION", "VERSION", "-1"), "3.0000");
    EXPECT_EQ(QtSettingsStore(path_).GetInt("DEFAULTS", "OuterRadius", 0), 412);
}

TEST_F(IniStoreTest, GarbageFileGivesDefaults) {
    {
        std::ofstream out(path_, std::ios::binary);
        out << "\x01\x02[[[DEFAULTS\n=OuterRadius=\xff\xfe\nOuterRadius=abc\n\0\0garbage";
    }
    QtSettingsStore store(path_);
    EXPECT_EQ(store.GetInt("DEFAULTS", "OuterRadius", 300), 300);
    EXPECT_EQ(store.GetInt("EQUIPMENT", "MIRROR", 1), 1);
    store.SetInt("EQUIPMENT", "MIRROR", 2);
    EXPECT_EQ(QtSettingsStore(path_).GetInt("EQUIPMENT", "MIRROR", 1), 2);
}

}  // namespace
}  // namespace orbelune
