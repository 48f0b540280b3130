#include "pipeline/EditsJson.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace lumora;

namespace {

/// An edit state with every field away from its default, committed shapes included.
EditState everyField()
{
    EditState edits;
    edits.adjustment = AdjustmentState{0.1 + 0.2, -1.0 / 3, 1.25, 0.7, 0.35};
    edits.rotation = 270;
    edits.flippedH = true;
    edits.flippedV = true;
    edits.watermark =
        Watermark{QStringLiteral("© Studio „Ä“"), WatermarkPosition::center, 0.35, 0.06, QStringLiteral("#FFFFFF80")};
    edits.masks.append(MaskRect{QRectF(1.5, 2.25, 300.125, 40), QStringLiteral("#000000")});
    edits.freehandOverlays.append(Overlay{
        StrokeShape{{{0.1, 0.2}, {3000.7, 1999.3}, {5.5, 7}}, QStringLiteral("#FF3B30"), 12.5}, QSize(6000, 4000)});
    edits.freehandOverlays.append(
        Overlay{AreaShape{{{0, 0}, {50, 0}, {0, 50.000001}}, QStringLiteral("#FFFFFF")}, QSize(5999, 4001)});
    edits.freehandOverlays.append(
        Overlay{Arrow{{800, 300}, 0.5 + 1e-12, 300, 10, QStringLiteral("#FF3B30")}, QSize(6000, 4000)});
    edits.textMarks.append(TextMark{.position = {1000.5, 900},
                                    .text = QStringLiteral("Kratzer\nzweite Zeile"),
                                    .fontSize = 61.5,
                                    .colorHex = QStringLiteral("#FFFFFF"),
                                    .hasBackground = true});
    return edits;
}

} // namespace

TEST(EditsJson, ReadsEveryFieldWithTheModelsNamesAndAWrittenStateReadsBackEqual)
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
    // The neutral state is the empty object.
    EXPECT_TRUE(editStateToJson(EditState{}).isEmpty());

    // A written state reads back equal.
    const EditState state = everyField();
    const QByteArray bytes = QJsonDocument(editStateToJson(state)).toJson(QJsonDocument::Compact);
    auto back = editStateFromJson(bytes, QSize(6000, 4000), EditsSource::written);
    ASSERT_TRUE(back) << back.error().toStdString();
    EXPECT_EQ(*back, state);

    // A committed stroke is taken as written, not simplified again as a hand-written one is.
    const QByteArray straight =
        R"({"freehandOverlays": [{"kind": "stroke", "points": [[0, 0], [5, 0.1], [10, 0]], "lineWidth": 2}]})";
    auto written = editStateFromJson(straight, QSize(100, 100), EditsSource::written);
    auto handWritten = editStateFromJson(straight, QSize(100, 100));
    ASSERT_TRUE(written && handWritten);
    EXPECT_EQ(std::get<StrokeShape>(written->freehandOverlays[0].shape).points.size(), 3);
    EXPECT_EQ(std::get<StrokeShape>(handWritten->freehandOverlays[0].shape).points.size(), 2);
}

// Malformed and hostile input is refused naming the problem.
TEST(EditsJson, MalformedAndHostileValuesAreRefusedWithTheirField)
{
    const QByteArray manyMasks = "{\"masks\": [" + QByteArray("{\"rect\": [0, 0, 1, 1]},").repeated(10'001) + "{}]}";
    QByteArray manyPoints = R"({"freehandOverlays": [{"kind": "area", "points": [)";
    for (int i = 0; i < 1001; ++i)
        manyPoints += "[1, 2],";
    manyPoints += "[0, 0]]}]}";
    const QByteArray longText =
        R"({"textMarks": [{"position": [1, 1], "text": ")" + QByteArray(10'001, 'x') + R"("}]})";
    const EditsSource hand = EditsSource::handWritten;
    const struct {
        QByteArray json;
        const char* mentions;
        EditsSource source = EditsSource::written; ///< the committed shapes of a journal, or a file of a user
    } cases[] = {
        {"{", "Ungültiges JSON", hand},
        {"[1, 2]", "JSON-Objekt", hand},
        {R"({"rotation": "90"})", "rotation", hand},
        {R"({"masks": [{"rect": [1, 2, 3]}]})", "rect", hand},
        {R"({"watermark": {"text": "x", "position": "Center"}})", "Center", hand},
        {R"({"freehandOverlays": [{"kind": "circle"}]})", "circle", hand},
        {R"({"textMarks": [{"position": [1], "text": "x"}]})", "position", hand},
        {R"({"flippedH": 1})", "flippedH", hand},
        {manyMasks, "masks"},
        {manyPoints, "points"},
        {longText, "text"},
        {R"({"rotation": 1e999})", "JSON"},
        {R"({"masks": [{"rect": [0, 0, 1e400, 1]}]})", "JSON"},
        {R"({"freehandOverlays": [{"kind": "arrow", "start": [1, 1], "canvasSize": [100000, 100000]}]})", "canvasSize"},
        {R"({"freehandOverlays": [{"kind": "arrow", "start": [1, 1], "canvasSize": [-4, 3]}]})", "canvasSize"},
        {R"({"freehandOverlays": [{"kind": "stroke", "points": "many"}]})", "points"},
        {R"({"textMarks": [{"id": "kein-uuid", "position": [1, 1]}]})", "id"},
        {R"({"adjustment": [1, 2]})", "adjustment"},
        {R"({"watermark": {"opacity": "hoch"}})", "opacity"},
    };
    for (const auto& c : cases) {
        auto edits = editStateFromJson(c.json, QSize(10, 10), c.source);
        ASSERT_FALSE(edits) << c.json.left(200).constData();
        EXPECT_TRUE(edits.error().contains(QString::fromUtf8(c.mentions))) << edits.error().toStdString();
    }
}
