#pragma once

#include "platform/UDisksVolumeService.h"
#include "platform/VolumeService.h"

#include <QStringList>

namespace lumora::test {

/// Ejecting always fails with a fixed message, or succeeds when told to.
class FakeVolumes : public VolumeService {
public:
    bool succeed = false;
    QStringList ejected;
    std::expected<void, Error> unmountAndEject(const QString& path) override
    {
        ejected.append(path);
        if (succeed)
            return {};
        return std::unexpected(Error{volumeErrors::domain, volumeErrors::failed, QStringLiteral("kein Datenträger")});
    }
};

} // namespace lumora::test
