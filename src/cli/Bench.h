#pragma once

#include "pipeline/EditState.h"
#include "platform/VolumeService.h"

#include <QSize>

namespace lumora {

/// The benchmark's typical edit state for a photo of `size`: all five adjustments away from
/// neutral with sharpening, two masks, three strokes, one arrow, two text marks, a quarter
/// turn and a tiled watermark.
[[nodiscard]] EditState typicalEdits(QSize size);

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
