#pragma once

#include <cmath>
#include <limits>
#include <optional>

// The nearest integer of type Int, a half going to the even neighbour (the
// rounding of window layouts, of orvenda.ini's numbers and of the aeroplane's
// steps); nullopt when the value does not fit (or is not a number): an
// overflow is an error, never a wrap.
template <class Int> std::optional<Int> roundHalfEven(double v)
{
    if (!std::isfinite(v))
        return std::nullopt;
    double r = std::floor(v);
    const double diff = v - r;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(r, 2.0) != 0.0))
        r += 1.0;
    if (r < double(std::numeric_limits<Int>::min()) || r > double(std::numeric_limits<Int>::max()))
        return std::nullopt;
    return static_cast<Int>(r);
}
