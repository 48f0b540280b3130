#pragma once

#include "app/editor/EditorController.h"
#include "base/UiThread.h"
#include "model/ImageProcessor.h"
#include "support/Fixtures.h"
#include "support/ScriptedDialogs.h"

#include <QCoreApplication>
#include <QUrl>
#include <gtest/gtest.h>
#include <memory>

namespace lumora::test {

/// A processor with one photo (by default a w × h raster original) and an editor on it whose
/// canvas is `canvas` big.
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
    [[nodiscard]] EditorState& state() { return editor->state(); }
    /// Switches to `mode` and returns its tool.
    template <class Tool>
    Tool& enter(DrawingMode mode)
    {
        editor->setMode(mode);
        return *static_cast<Tool*>(editor->tool(mode));
    }
    /// One drag from `from` to `to` in `steps` moves, then the release.
    void drag(QPointF from, QPointF to, int steps = 4)
    {
        for (int i = 1; i <= steps; ++i)
            editor->dragChanged(from, from + (to - from) * (double(i) / steps));
        editor->dragEnded();
    }
    /// Waits for background renders and delivers their results.
    static void settle()
    {
        for (int i = 0; i < 4; ++i) {
            workPool().waitForDone();
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
        }
    }
};

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
