// Checks halfToFloat against values whose binary16 encodings are known.
#include "Fp16.h"

#include <cmath>
#include <cstdio>

namespace {

int failures = 0;

void expectEq(std::uint16_t half, float expected)
{
    const float got = halfToFloat(half);
    const bool same = std::isnan(expected) ? std::isnan(got) : (got == expected && std::signbit(got) == std::signbit(expected));
    if (!same) {
        std::fprintf(stderr, "halfToFloat(0x%04x) = %.9g, expected %.9g\n", half, double(got), double(expected));
        ++failures;
    }
}

} // namespace

int main()
{
    expectEq(0x0000, 0.0f);
    expectEq(0x8000, -0.0f);
    expectEq(0x3C00, 1.0f);
    expectEq(0xC000, -2.0f);
    expectEq(0x3555, 0.333251953125f);
    expectEq(0x7BFF, 65504.0f);           // largest normal
    expectEq(0x0400, 6.103515625e-05f);   // smallest normal
    expectEq(0x0001, 5.9604644775390625e-08f); // smallest subnormal
    expectEq(0x03FF, 6.097555160522461e-05f);  // largest subnormal
    expectEq(0x7C00, INFINITY);
    expectEq(0xFC00, -INFINITY);
    expectEq(0x7E00, NAN);
    return failures == 0 ? 0 : 1;
}
