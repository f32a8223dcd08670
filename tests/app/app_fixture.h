#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <memory>

#include "app/orbelune_app.h"
#include "image/image_format.h"
#include "image/rgb_image.h"
#include "platform/settings_store.h"
#include "scripted_ui.h"

// A started program over an in-memory store and scripted desktop.
class AppFixture : public ::testing::Test {
protected:
    void Start(MoviePlatformProbe probe = {}) {
        app = std::make_unique<COrbeluneApp>(store, ui, std::move(probe));
        ASSERT_TRUE(app->InitInstance());
    }

    // Writes a w x h BMP with a gradient into the temporary folder.
    QString WriteBmp(const QString& name, int w, int h) {
        orbelune::RgbImage image;
        EXPECT_EQ(image.AllocatePixels(w, h), 0u);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                std::uint8_t* px = image.row(y) + x * 3;
                px[0] = static_cast<std::uint8_t>(x * 255 / w);
                px[1] = static_cast<std::uint8_t>(y * 255 / h);
                px[2] = 128;
            }
        }
        const QString path = temp.filePath(name);
        EXPECT_EQ(
            image.SaveImageFile(QFile::encodeName(path).toStdString(), orbelune::ImageFormat::Bmp),
            0u);
        return path;
    }

    QString WriteText(const QString& name, const QByteArray& bytes) {
        const QString path = temp.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }

    orbelune::MemorySettingsStore store;
    ScriptedUi ui;
    std::unique_ptr<COrbeluneApp> app;
    QTemporaryDir temp;
};
