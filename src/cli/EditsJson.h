#pragma once

#include "pipeline/EditState.h"

#include <QByteArray>
#include <QString>
#include <expected>

namespace lumora {

/// Reads an edit state from JSON with the model's field names: "adjustment" {exposure,
/// brightness, contrast, saturation, sharpness}, "rotation", "flippedH", "flippedV",
/// "watermark" {text, position, opacity, sizeFactor, colorHex}, "masks" [{rect: [x, y, w, h],
/// colorHex}], "freehandOverlays" [{kind: "stroke"|"area"|"arrow", …}], "textMarks"
/// [{position: [x, y], text, fontSize, colorHex, hasBackground}]. Every field is optional.
/// Overlays are committed on a canvas of `originalSize`, as the editor would commit them.
/// Fails with a German message naming the first offending field.
[[nodiscard]] std::expected<EditState, QString> editStateFromJson(const QByteArray& json, QSize originalSize);

/// The most an edits file may hold.
inline constexpr qint64 kMaxEditsFileBytes = 16 * 1024 * 1024;

/// Reads an edits file under the rules photos are read by (readRegularFile): only a regular
/// file, never blocking on a pipe or device, at most kMaxEditsFileBytes. Fails with a German
/// sentence naming the file.
[[nodiscard]] std::expected<QByteArray, QString> readEditsFile(const QString& path);

} // namespace lumora
