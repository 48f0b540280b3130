#pragma once

#include <QImage>
#include <QString>
#include <functional>

namespace lumora {

// Pictures of single parts of the window for looking at them, each written into a folder.
// Every function returns the process exit code: 0 when all pictures were written.

/// A magnifier of `photo` (a generated test card when empty) at fit, at 100 % and at 195 %:
/// lupe-einpassen.png, lupe-100.png, lupe-195.png.
int magnifierShots(const QString& folder, const QString& photo);

/// The main window with eight photos (copies of `photo`, or generated ones) while an export
/// runs, once a quarter is done: progress-overlay.png.
int overlayShot(const QString& folder, const QString& photo);

/// The watermark sheet over `photo` (or a generated test card): watermark-sheet.png.
int watermarkShot(const QString& folder, const QString& photo);

/// The editor sheet over `photo` (or a generated test card) in each built mode with shapes on
/// the canvas: editor-rechteck.png, editor-freihand.png, editor-fuellen.png.
int editorShots(const QString& folder, const QString& photo);

/// The open panel and the colour dialog as Qt shows them here (dateipanel.png, farbdialog.png).
int panelShots(const QString& folder);

/// Red, green, blue and white quarters, for pictures without a photo of one's own.
[[nodiscard]] QImage testCard(int w, int h);

/// Runs the event loop until `done` holds or `timeoutMs` pass; returns whether it held.
bool waitUntil(const std::function<bool()>& done, int timeoutMs);

} // namespace lumora
