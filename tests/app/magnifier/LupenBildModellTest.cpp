#include "app/magnifier/LupenBildModell.h"

#include "support/Fixtures.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace lumora;

TEST(LupenBildModell, FullResolutionRenderIsAskedForOnlyWhenThePreviewIsTooSmall)
{
    // A 1000 × 750 preview of a 4000 × 3000 photo.
    LupenBildModell model(test::solid(1000, 750, Qt::gray), QSize(4000, 3000));
    int requests = 0;
    model.setFullImageSource([&] {
        ++requests;
        return std::optional(test::solid(4000, 3000, Qt::blue));
    });
    EXPECT_EQ(model.rasterFor({900, 675}).width(), 1000) << "the preview has pixels enough";
    EXPECT_EQ(requests, 0);
    EXPECT_EQ(model.rasterFor({4000, 3000}).width(), 4000);
    EXPECT_EQ(model.rasterFor({5000, 3750}).width(), 4000);
    EXPECT_EQ(requests, 1) << "kept until the image changes";

    QSignalSpy changed(&model, &LupenBildModell::imageChanged);
    model.setBild(test::solid(1000, 750, Qt::red), QSize(4000, 3000));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(model.rasterFor({4000, 3000}).width(), 4000);
    EXPECT_EQ(requests, 2) << "the render of the old image is stale";
}

TEST(LupenBildModell, WithoutAFullResolutionRenderThePreviewStays)
{
    LupenBildModell model(test::solid(1000, 750, Qt::gray), QSize(4000, 3000));
    EXPECT_EQ(model.rasterFor({4000, 3000}).width(), 1000) << "no source at all";
    int requests = 0;
    model.setFullImageSource([&] {
        ++requests;
        return std::optional<QImage>();
    });
    EXPECT_EQ(model.rasterFor({4000, 3000}).width(), 1000);
    EXPECT_EQ(model.rasterFor({4000, 3000}).width(), 1000);
    EXPECT_EQ(requests, 1) << "a source that has nothing is not asked again";

    const LupenBildModell full(test::solid(300, 200, Qt::gray));
    EXPECT_EQ(full.pixelSize(), QSize(300, 200)) << "no pixel size: the image is full size";
}
