#pragma once

#include "base/Progress.h"
#include "model/PhotoItem.h"

#include <QString>
#include <memory>

namespace lumora {

class ImageProcessor;

enum class ExportFormat { jpeg, png };

/// Decimal digits of `count`: the number width of an export (1 for 1…9, 2 for 10…99, …).
[[nodiscard]] int numberWidth(int count);

/// The longest file name, in bytes, the file systems of photo cards and disks hold.
inline constexpr qsizetype kMaxFileNameBytes = 255;

/// The export file name of the photo at `index` (from 0): the number index + 1 padded with
/// zeros to `width`, "_", the file's name without its last extension, ".jpg" or ".png"; the
/// name without its extension is cut (at a character) where the whole would exceed
/// kMaxFileNameBytes.
[[nodiscard]] QString exportFileName(int index, int width, const QUrl& url, ExportFormat format);

/// Renders every photo of the current list at full resolution and writes it as JPEG
/// (quality 0.95) over its own file (a camera RAW file's beside it, see ownFileTarget),
/// atomically, in list order. Progress (i + 1) / n after
/// each photo; the token is read before each photo. Stops at the first failure, which ends
/// the stream with its error; a cancelled run ends without error but marked cancelled.
/// Nothing changes in memory.
[[nodiscard]] ProgressStreamPtr saveOverOriginals(const ImageProcessor& processor, std::shared_ptr<CancelToken> token);

/// The numbered export of `snapshot` into `folder` as JPEG (quality 0.95) or PNG, with the
/// same progress, cancellation and failure rules. Existing files of the same name are replaced.
[[nodiscard]] ProgressStreamPtr exportPhotos(const QList<PhotoItem>& snapshot, std::shared_ptr<CancelToken> token,
                                             int width, const QString& folder, int count, ExportFormat format);
[[nodiscard]] ProgressStreamPtr exportJPEG(const QList<PhotoItem>& snapshot, std::shared_ptr<CancelToken> token,
                                           int width, const QString& folder, int count);
[[nodiscard]] ProgressStreamPtr exportPNG(const QList<PhotoItem>& snapshot, std::shared_ptr<CancelToken> token,
                                          int width, const QString& folder, int count);

} // namespace lumora
