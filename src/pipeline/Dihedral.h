#pragma once

#include <QPoint>

namespace lumora {

/// A mirror followed by a turn in quarter steps: one of the eight exact pixel permutations.
/// Mirrors are applied first (in the unturned frame), then `quarterTurns` × 90° counter-clockwise.
struct Dihedral {
    bool flipH = false;
    bool flipV = false;
    int quarterTurns = 0; ///< 0…3

    [[nodiscard]] bool isIdentity() const { return !flipH && !flipV && quarterTurns == 0; }
    [[nodiscard]] bool transposes() const { return quarterTurns % 2 != 0; }
    /// Where source pixel (x, y) of a w × h raster (y down) lands.
    [[nodiscard]] QPoint map(int x, int y, int w, int h) const;
};

} // namespace lumora
