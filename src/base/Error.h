#pragma once

#include <QString>

namespace lumora {

/// A failure as the user sees it: a domain, a code and a German description.
/// Operations that can fail return std::expected<T, Error>; nothing throws across a layer.
/// Domains and codes are observable and never change. Each domain is named once, with its
/// codes, beside the code that raises it (a namespace `<area>Errors` holding `domain` and the
/// codes), so that callers and tests compare against names instead of numbers.
struct Error {
    QString domain;
    int code = 0;
    QString description;

    friend bool operator==(const Error&, const Error&) = default;
};

} // namespace lumora
