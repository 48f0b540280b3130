#include "cli/EditsJson.h"

#include <gtest/gtest.h>

using namespace lumora;

TEST(EditsJson, ReadsEveryFieldWithTheModelsNames)
{
    const QByteArray json = R"({
      "adjustment": {"exposure": 0.5, "brightness": -0.1, "contrast": 1.2, "saturation": 0.8, "sharpness": 0.3},
      "rotation": -90, "flippedH": true, "flippedV": false,
      "watermark": {"text": "© X", "position": "bottomLeft", "opacity": 0.4, "sizeFactor": 0.07, "colorHex": "#FF0000"},
      "masks": [{"rect": [1, 2, 30, 40], "colorHex": "#000000"}],
      "freehandOverlays": [
        {"kind": "stroke", "points": [[0, 0], [10, 10]], "colorHex": "#FF3B30", "lineWidth": 6},
        {"kind": "area", "points": [[0, 0], [10, 0], [0, 10]], "colorHex": "#FFFFFF"},
        {"kind": "arrow", "start": [5, 5], "angle": 1.0, "length": 50, "lineWidth": 4, "colorHex": "#00FF00"}],
      "textMarks": [{"position": [20, 30], "text": "Hallo", "fontSize": 24, "colorHex": "#FFFFFF", "hasBackground": true}]
    })";
    auto edits = editStateFromJson(json, QSize(100, 80));
    ASSERT_TRUE(edits) << edits.error().toStdString();
    EXPECT_EQ(edits->adjustment, (AdjustmentState{0.5, -0.1, 1.2, 0.8, 0.3}));
    EXPECT_EQ(edits->rotation, -90);
    EXPECT_TRUE(edits->flippedH);
    EXPECT_EQ(edits->watermark->position, WatermarkPosition::bottomLeft);
    EXPECT_EQ(edits->masks.first().rect, QRectF(1, 2, 30, 40));
    ASSERT_EQ(edits->freehandOverlays.size(), 3);
    EXPECT_EQ(edits->freehandOverlays[0].canvasSize, QSize(100, 80));
    EXPECT_EQ(std::get<Arrow>(edits->freehandOverlays[2].shape).length, 50);
    EXPECT_EQ(edits->textMarks.first().text, QStringLiteral("Hallo"));
    EXPECT_TRUE(edits->textMarks.first().hasBackground);

    auto empty = editStateFromJson("{}", QSize(10, 10));
    ASSERT_TRUE(empty);
    EXPECT_EQ(*empty, EditState{});
}

TEST(EditsJson, MalformedInputNamesTheProblem)
{
    const struct {
        const char* json;
        const char* mentions;
    } cases[] = {
        {"{", "Ungültiges JSON"},
        {"[1, 2]", "JSON-Objekt"},
        {R"({"rotation": "90"})", "rotation"},
        {R"({"masks": [{"rect": [1, 2, 3]}]})", "rect"},
        {R"({"watermark": {"text": "x", "position": "Center"}})", "Center"},
        {R"({"freehandOverlays": [{"kind": "circle"}]})", "circle"},
        {R"({"textMarks": [{"position": [1], "text": "x"}]})", "position"},
        {R"({"flippedH": 1})", "flippedH"},
    };
    for (const auto& c : cases) {
        auto edits = editStateFromJson(c.json, QSize(10, 10));
        ASSERT_FALSE(edits) << c.json;
        EXPECT_TRUE(edits.error().contains(QString::fromUtf8(c.mentions))) << edits.error().toStdString();
    }
}
