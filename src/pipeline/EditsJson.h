#pragma once

#include "pipeline/EditState.h"

#include <QByteArray>
#include <QJsonObject>
#include <QSize>
#include <QString>
#include <expected>

namespace lumora {

/// Who wrote the edits being read. A hand-written edits file (lumora-cli) has its strokes and
/// areas committed as the editor would commit them (simplified) on a canvas of the original's
/// size. What editStateToJson wrote (the session journal) holds committed shapes already: they
/// are taken exactly as written, with their canvas size and text-mark ids, and a shape with more
/// points than a commit keeps is refused.
enum class EditsSource { handWritten, written };

/// The most entries of each list (masks, overlays, text marks) an edit state may hold when read,
/// and the longest text of a mark or watermark.
inline constexpr qsizetype kMaxEditsEntries = 10'000;
inline constexpr qsizetype kMaxEditsTextLength = 10'000;

/// Reads an edit state from JSON with the model's field names: "adjustment" {exposure,
/// brightness, contrast, saturation, sharpness}, "rotation", "flippedH", "flippedV",
/// "watermark" {text, position, opacity, sizeFactor, colorHex}, "masks" [{rect: [x, y, w, h],
/// colorHex}], "freehandOverlays" [{kind: "stroke"|"area"|"arrow", …, canvasSize: [w, h]}],
/// "textMarks" [{id, position: [x, y], text, fontSize, colorHex, hasBackground}]. Every field
/// is optional; an overlay's canvas size defaults to `originalSize`. Numbers must be finite,
/// lists and texts within the caps above. Fails with a German message naming the first
/// offending field.
[[nodiscard]] std::expected<EditState, QString> editStateFromJson(const QByteArray& json, QSize originalSize,
                                                                  EditsSource source = EditsSource::handWritten);
/// The same over an already parsed object.
[[nodiscard]] std::expected<EditState, QString> editStateFromJsonObject(const QJsonObject& root, QSize originalSize,
                                                                        EditsSource source);

/// The edit state as JSON in the format above, complete: reading it back with
/// EditsSource::written gives an equal EditState (numbers are written in their shortest exact
/// form). Fields at their default are left out. Pure; any thread.
[[nodiscard]] QJsonObject editStateToJson(const EditState& edits);

/// The most an edits file may hold.
inline constexpr qint64 kMaxEditsFileBytes = 16 * 1024 * 1024;

/// Reads an edits file under the rules photos are read by (readRegularFile): only a regular
/// file, never blocking on a pipe or device, at most kMaxEditsFileBytes. Fails with a German
/// sentence naming the file.
[[nodiscard]] std::expected<QByteArray, QString> readEditsFile(const QString& path);

} // namespace lumora
