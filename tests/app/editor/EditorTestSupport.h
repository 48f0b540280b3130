#pragma once

#include "app/editor/ArrowTool.h"
#include "app/editor/BackgroundTool.h"
#include "app/editor/CropTool.h"
#include "app/editor/EditorController.h"
#include "app/editor/RectangleTool.h"
#include "app/editor/StrokeTools.h"
#include "app/editor/TextTool.h"
#include "base/UiThread.h"
#include "model/ImageProcessor.h"
#include "support/Fixtures.h"
#include "support/ScriptedDialogs.h"

#include <QCoreApplication>
#include <QPainter>
#include <QUrl>
#include <gtest/gtest.h>
#include <memory>

namespace lumora::test {

/// Adds every tool of the editor, in toolbar order (the sheet adds them with their widgets).
inline void addAllTools(EditorController& editor)
{
    editor.addTool(std::make_unique<RectangleTool>(editor));
    editor.addTool(std::make_unique<FreehandTool>(editor));
    editor.addTool(std::make_unique<FillTool>(editor));
    editor.addTool(std::make_unique<ArrowTool>(editor));
    editor.addTool(std::make_unique<TextTool>(editor));
    editor.addTool(std::make_unique<CropTool>(editor));
    editor.addTool(std::make_unique<BackgroundTool>(editor));
}

/// A processor with one photo (by default a w × h raster original) and an editor with every
/// tool on it, whose canvas is `canvas` big. The tools are reached by their own types.
struct EditorBench {
    ImageProcessor processor;
    ScriptedDialogs dialogs;
    QUuid id;
    std::unique_ptr<EditorController> editor;
    int dismissed = 0;

    explicit EditorBench(QSize image = {400, 300}, QSizeF canvas = {800, 600}, double rotation = 0)
        : EditorBench(photoOf(image, rotation), canvas)
    {
    }
    EditorBench(const PhotoItem& photo, QSizeF canvas) : id(photo.id)
    {
        processor.setPhotos({photo});
        editor = std::make_unique<EditorController>(processor, id, dialogs);
        addAllTools(*editor);
        QObject::connect(editor.get(), &EditorController::dismissRequested, [this] { ++dismissed; });
        editor->setCanvasSize(canvas);
    }
    /// A w × h raster original turned by `rotation`.
    static PhotoItem photoOf(QSize image, double rotation)
    {
        PhotoItem photo;
        photo.url = QUrl::fromLocalFile(QStringLiteral("/fotos/Strand.jpg"));
        photo.originalCI = SourceImage::fromRaster(solid(image.width(), image.height(), Qt::darkCyan));
        photo.edits.rotation = rotation;
        return photo;
    }
    ~EditorBench() { settle(); }

    [[nodiscard]] const PhotoItem& photo() const { return *processor.photo(id); }
    [[nodiscard]] const EditState& edits() const { return photo().edits; }
    template <class Tool>
    [[nodiscard]] Tool& tool()
    {
        for (const auto& t : editor->tools()) {
            if (auto* found = dynamic_cast<Tool*>(t.get()))
                return *found;
        }
        throw std::logic_error("no such tool");
    }
    /// Switches to `mode` and returns its tool.
    template <class Tool>
    Tool& enter(DrawingMode mode)
    {
        editor->setMode(mode);
        return tool<Tool>();
    }
    /// Gives the photo `edits` as if edited before the editor opened (not in the history).
    void setEdits(const EditState& edits) { processor.setEdits(id, edits); }
    /// A press at `from`, moves in `steps` to `to`, and the release there (canvas points).
    void drag(QPointF from, QPointF to, int steps = 4)
    {
        editor->press(from);
        for (int i = 1; i <= steps; ++i)
            editor->move(from + (to - from) * (double(i) / steps));
        editor->release(to);
    }
    void click(QPointF at, int clicks = 1)
    {
        editor->press(at, clicks);
        editor->release(at);
    }
    /// Waits for background work and delivers its results.
    static void settle()
    {
        for (int i = 0; i < 4; ++i) {
            workPool().waitForDone();
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
        }
    }
};

/// A 240 × 160 photo: a red disc (the subject) of radius 50 at (120, 80) on a grey-blue background.
inline QImage subjectPhoto()
{
    QImage image = solid(240, 160, QColor(70, 90, 120));
    QPainter painter(&image);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(220, 30, 30));
    painter.drawEllipse(QPointF(120, 80), 50, 50);
    return image;
}

/// A stand-in segmentation: strongly red pixels are the subject.
inline std::expected<QImage, Error> redSubject(const QImage& bitmap)
{
    QImage mask(bitmap.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < bitmap.height(); ++y) {
        for (int x = 0; x < bitmap.width(); ++x) {
            const QColor c = bitmap.pixelColor(x, y);
            mask.scanLine(y)[x] = c.red() > 150 && c.green() < 100 ? 255 : 0;
        }
    }
    return mask;
}

/// A white text mark on its box at `position` (image pixels, y up).
inline TextMark textMark(QPointF position, const QString& text = QStringLiteral("Hallo"), double size = 24)
{
    TextMark mark;
    mark.position = position;
    mark.text = text;
    mark.fontSize = size;
    mark.colorHex = QStringLiteral("#FFFFFF");
    mark.hasBackground = true;
    return mark;
}

/// Both coordinates within `tolerance`.
inline void expectNear(QPointF actual, QPointF expected, double tolerance = 1e-9)
{
    EXPECT_NEAR(actual.x(), expected.x(), tolerance);
    EXPECT_NEAR(actual.y(), expected.y(), tolerance);
}

inline void expectNear(const QRectF& actual, const QRectF& expected, double tolerance = 1e-9)
{
    expectNear(actual.topLeft(), expected.topLeft(), tolerance);
    expectNear(actual.bottomRight(), expected.bottomRight(), tolerance);
}

} // namespace lumora::test
