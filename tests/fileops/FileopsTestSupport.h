#pragma once

#include "base/Progress.h"

#include <string>

namespace lumora::test {

/// How a stream ended, in one comparable line: "3/4" (done/total), with "cancelled " or
/// "error: <description> " before it.
inline std::string ended(const StreamEnd& end)
{
    std::string text = end.error ? "error: " + end.error->description.toStdString() + " " : std::string();
    if (end.cancelled)
        text += "cancelled ";
    return text + std::to_string(end.done) + "/" + std::to_string(end.total);
}

} // namespace lumora::test
