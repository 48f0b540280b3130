#pragma once

#include <QtGlobal>
#include <gtest/gtest.h>

namespace lumora::test {

/// Whether the suite runs under CI (.ci/run sets LUMORA_CI=1): there everything the project
/// installs (scripts/setup.sh: packages, the segmentation model) and runs on (root) is present.
inline bool underCi()
{
    return qEnvironmentVariableIntValue("LUMORA_CI") == 1;
}

} // namespace lumora::test

/// Ends the test when `condition` does not hold: skipped with `reason` in the output on a
/// developer's machine, failed under CI, where what it needs is always provided (a package or
/// the model scripts/setup.sh installs, root for mounting file systems). Use in the test body.
#define LUMORA_REQUIRE(condition, reason)                                                                              \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            if (::lumora::test::underCi()) {                                                                           \
                FAIL() << "fehlt unter CI, wo es bereitsteht: " << reason;                                             \
            } else {                                                                                                   \
                GTEST_SKIP() << reason;                                                                                \
            }                                                                                                          \
        }                                                                                                              \
    } while (false)
