#pragma once

#include "base/Error.h"
#include "pipeline/EditState.h"
#include "platform/VolumeService.h"

#include <QSize>
#include <QStringList>
#include <expected>

namespace lumora {

/// The benchmark's typical edit state for a photo of `size` as an edits file (the format of
/// editStateFromJson, coordinates in that photo's pixels): all five adjustments away from
/// neutral with sharpening, two masks, three strokes, one arrow, two text marks, a mirror, a
/// quarter turn and a tiled watermark.
[[nodiscard]] QByteArray typicalEditsJson(QSize size);

/// typicalEditsJson(size) read as an edit state.
[[nodiscard]] EditState typicalEdits(QSize size);

/// What one run of a program cost.
struct ProgramCost {
    int exitCode = -1;    ///< -1 when it could not be started or did not end by itself
    double wallMs = 0;    ///< from start to end
    double peakRssMb = 0; ///< the child's largest resident memory in MiB, sampled every 2 ms
};

/// Runs `program` with `args` in a child process (stdin, stdout and stderr on /dev/null, our
/// environment) and waits for it to end. Blocks the calling thread.
[[nodiscard]] ProgramCost runMeasured(const QString& program, const QStringList& args);

/// The background mask of the photo at `path` as the editor's "KI-Szene" makes it, with the
/// model already loaded: render at display size, segmentation, composite on a colour. One run
/// loads the model first, then the median of `runs` runs in milliseconds. Fails with the
/// reason (unreadable photo, missing model, no subject) as the error's German description.
[[nodiscard]] std::expected<double, Error> backgroundMaskMs(const QString& path, int runs = 3);

/// The median of `values` (the mean of the middle two for an even count); 0 when empty.
[[nodiscard]] double median(QList<double> values);

/// The process's resident memory in MiB (0 when it cannot be read).
[[nodiscard]] double residentMegabytes();

/// A benchmark's stand-in for the volume service: ejecting always fails.
class NoVolumes : public VolumeService {
public:
    std::expected<void, Error> unmountAndEject(const QString&) override;
};

} // namespace lumora
