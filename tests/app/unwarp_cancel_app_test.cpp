#include <gtest/gtest.h>

#include <atomic>

#include "app/main_frame.h"
#include "app/orbelune_app.h"
#include "app/round_view.h"
#include "app/task.h"
#include "app_fixture.h"

namespace {

class UnwarpCancelTest : public AppFixture {
protected:
    void SetUp() override {
        Start();
        app->frame()->show();
        ui.Clear();
    }
};

TEST_F(UnwarpCancelTest, TheTasksCancelStopsTheUnwarpBetweenRows) {
    orbelune::RgbImage photo;
    ASSERT_EQ(photo.AllocatePixels(1600, 1200), orbelune::err::kNone);
    for (int y = 0; y < 1200; ++y)
        for (int x = 0; x < 1600 * 3; ++x)
            photo.row(y)[x] = static_cast<std::uint8_t>(x * 7 + y * 3);
    app->session().TakeRawPhoto(std::move(photo));
    app->session().ring() = {800, 600, 120, 580};
    app->SwitchView(1);

    std::atomic<int> reports{0};
    std::atomic<int> rows{0};
    app->workerProbe = [&](int row, int count) {
        ++reports;
        rows = count;
        // As closing the window does while the unwarp runs.
        if (row >= 2 && app->runningTask() != nullptr) app->runningTask()->Cancel();
    };
    app->roundView()->OnUnwarp();
    app->workerProbe = nullptr;

    EXPECT_GT(rows, 500);
    EXPECT_LT(reports, rows / 2);
    // Nothing half-made is shown, and no error is reported for a cancel.
    EXPECT_TRUE(app->session().current().empty());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(app->busy());
}

}  // namespace
