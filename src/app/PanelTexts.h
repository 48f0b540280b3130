#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>
#include <utility>

namespace lumora {

struct PhotoItem;

/// The fixed texts and derived rows of the window's panels.
namespace panelTexts {

/// "n Fotos importiert" ("1 Foto importiert").
[[nodiscard]] QString statusText(qsizetype photoCount);
/// The status line while photos load: "Lade 12 von 60 Fotos …" (the photo being loaded, counted
/// from 1, out of all photos of the queued loads).
[[nodiscard]] QString loadingText(int handled, int total);
/// "n ausgewählt".
[[nodiscard]] QString selectionText(qsizetype selectedCount);

/// "DATEI-INFO" of a photo: Name, Breite, Höhe, Größe; for a camera RAW original then also
/// "Sensor" (the raw data's "6024 × 4024 px"). The size is the file's size on disk
/// in decimal units ("1,5 MB"); "—" when the file cannot be read (moved or deleted).
[[nodiscard]] QList<std::pair<QString, QString>> fileInfoRows(const PhotoItem& photo);
/// A byte count as the file manager shows it ("845 kB", "1,5 MB").
[[nodiscard]] QString byteCount(qint64 bytes);

/// The open panel's filter of photo files: "Bilder (*.jpg *.JPG … *.dng *.DNG …)", every
/// format the decoder reads (JPEG, PNG, HEIC, WebP, TIFF, GIF, BMP and camera RAW files), each
/// extension in lower and upper case (cameras write upper case).
[[nodiscard]] QString photoFileFilter();

/// "TASTATURKÜRZEL": key text and description, ten rows. Ctrl reads "Strg" here.
[[nodiscard]] const QList<std::pair<QString, QString>>& shortcutRows();

/// A shortcut as a German keyboard names its keys ("Strg+Umschalt+J", "Strg+Rücktaste").
[[nodiscard]] QString shortcutText(const QKeySequence& sequence);

/// The version shown in the info sheet and the hidden view: the build's version, or "—".
[[nodiscard]] QString versionString();

} // namespace panelTexts

} // namespace lumora
