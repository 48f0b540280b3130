#pragma once

#include "base/Error.h"

#include <QString>
#include <expected>

namespace lumora {

/// Unmounting and ejecting removable media.
class VolumeService {
public:
    virtual ~VolumeService() = default;

    /// Unmounts the filesystem that holds `path` and ejects (or powers off) its drive. Blocks
    /// until done. Fails with the system's own description.
    [[nodiscard]] virtual std::expected<void, Error> unmountAndEject(const QString& path) = 0;
};

} // namespace lumora
