#pragma once

#include <QString>

namespace lumora {

/// A failure as the user sees it: a domain, a code and a German description.
/// Operations that can fail return std::expected<T, Error>; nothing throws across a layer.
struct Error {
    QString domain;
    int code = 0;
    QString description;

    friend bool operator==(const Error&, const Error&) = default;
};

} // namespace lumora
