#include "app/magnifier/LupenBildModell.h"

#include "support/Fixtures.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace lumora;

TEST(LupenBildModell, FullResolutionRenderIsAskedForOnlyWhenThePreviewIsTooSmallAndElseThePreviewStays)
{
    // A 1000 × 750 preview of a 4000 × 3000 photo.
    LupenBildModell model(test::solid(1000, 750, Qt::gray), QSize(4000, 3000));
    int requests = 0;
    QList<FullImageDelivery> pending; // the renders under way, delivered when the test says
    model.setFullImageSource([&](FullImageDelivery deliver) {
        ++requests;
        pending.append(std::move(deliver));
    });
    QSignalSpy arrived(&model, &LupenBildModell::rasterChanged);
    EXPECT_EQ(model.rasterFor({900, 675}).width(), 1000) << "the preview has pixels enough";
    EXPECT_EQ(requests, 0);
    EXPECT_EQ(model.rasterFor({4000, 3000}).width(), 1000) << "the preview, scaled, while the render runs";
    EXPECT_EQ(requests, 1);
    pending.takeFirst()(test::solid(4000, 3000, Qt::blue));
    EXPECT_EQ(arrived.count(), 1);
    EXPECT_EQ(model.rasterFor({4000, 3000}).width(), 4000);
    EXPECT_EQ(model.rasterFor({5000, 3750}).width(), 4000);
    EXPECT_EQ(requests, 1) << "kept until the image changes";

    QSignalSpy changed(&model, &LupenBildModell::imageChanged);
    model.setBild(test::solid(1000, 750, Qt::red), QSize(4000, 3000));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(model.rasterFor({4000, 3000}).width(), 1000);
    EXPECT_EQ(requests, 2) << "the render of the old image is stale";

    // A render of the old image arriving after the new one was asked for is dropped.
    model.setBild(test::solid(1000, 750, Qt::green), QSize(4000, 3000));
    pending.takeFirst()(test::solid(4000, 3000, Qt::red));
    EXPECT_EQ(model.rasterFor({4000, 3000}).width(), 1000);
    EXPECT_EQ(arrived.count(), 1);

    // Without a full-resolution render the preview stays.
    LupenBildModell bare(test::solid(1000, 750, Qt::gray), QSize(4000, 3000));
    EXPECT_EQ(bare.rasterFor({4000, 3000}).width(), 1000) << "no source at all";
    int empty = 0;
    bare.setFullImageSource([&](FullImageDelivery deliver) {
        ++empty;
        deliver(std::nullopt);
    });
    EXPECT_EQ(bare.rasterFor({4000, 3000}).width(), 1000);
    EXPECT_EQ(bare.rasterFor({4000, 3000}).width(), 1000);
    EXPECT_EQ(empty, 1) << "a source that has nothing is not asked again";
}
