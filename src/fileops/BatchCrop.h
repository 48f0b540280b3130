#pragma once

#include "base/Progress.h"
#include "model/PhotoItem.h"

#include <QRect>
#include <QRectF>
#include <QSet>
#include <QSize>
#include <QUrl>
#include <QUuid>
#include <functional>

namespace lumora {

class FolderBookmarkStore;
class ImageProcessor;

/// Regions smaller than this many pixels in width or height are skipped, not written.
inline constexpr int kMinimumCropSide = 10;

/// The pixels of a bitmap of `bitmapSize` that the normalized rectangle covers (0…1 spans the
/// bitmap, origin top-left, y down): x = max(0, x·W), y = max(0, y·H), w = min(W, w·W),
/// h = min(H, h·H), rounded outwards to whole pixels, then cut to the bitmap's bounds (empty
/// when nothing is left). In raster coordinates (top row 0).
[[nodiscard]] QRect cropPixelRect(QRectF normalizedRect, QSize bitmapSize);

/// A file URL beside `url` that names no existing file: "<base>-neu.jpg", else "<base>-neu-2.jpg"
/// … "<base>-neu-9999.jpg", else "<base>-neu-" and 6 characters of a fresh UUID ".jpg"; base is
/// the file name without its last extension; names are checked as their bytes. Checking and a
/// later write are not atomic together: batchCrop writes a copy only where no file is.
[[nodiscard]] QUrl nextCopyURL(const QUrl& url);

/// Cuts the same relative region out of each photo with these ids and writes it as JPEG
/// (quality 0.95), atomically: as a copy beside the original (nextCopyURL) or, with
/// `overwrite`, over the original under its own name.
///
/// Called on the UI thread. For copies, write access to each folder of the photos is asked of
/// `folders` first (it may show a panel); photos in a refused folder fail with
/// ": Ordner-Zugriff verweigert". Then a background task renders each photo with its whole edit
/// state at full resolution, cuts cropPixelRect out of it (regions below kMinimumCropSide
/// are counted in `uebersprungen`), encodes and writes, one photo after another. Every
/// failure adds a line "<file name of the photo>: <reason>" to `fehler` and the run goes on.
/// Back on the UI thread, each overwritten photo gets the written JPEG as its new original
/// with neutral edits and no watermark (the watermark is part of the written pixels now).
/// `done` then runs on the UI thread with the summary; it is not called when the processor
/// is destroyed first. Copies are not added to the photo list.
///
/// When `progress` is given it receives k/n after the k-th of the n photos (written, skipped
/// or failed), from the worker, and ends when the last photo is done (before `done` runs).
void batchCrop(ImageProcessor& processor, const QSet<QUuid>& ids, QRectF normalizedRect, bool overwrite,
               FolderBookmarkStore& folders, std::function<void(BatchCropResult)> done,
               ProgressStreamPtr progress = nullptr);

} // namespace lumora
