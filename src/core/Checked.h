#pragma once

#include <cmath>
#include <optional>
#include <type_traits>

// Integer arithmetic on numbers that came from outside (settings, state files, /proc, /sys):
// nothing when the true result does not fit, instead of a wrapped or undefined one.
namespace Checked {

template <typename T>
std::optional<T> add(T a, T b)
{
    T r;
    if (__builtin_add_overflow(a, b, &r)) return std::nullopt;
    return r;
}

template <typename T>
std::optional<T> sub(T a, T b)
{
    T r;
    if (__builtin_sub_overflow(a, b, &r)) return std::nullopt;
    return r;
}

template <typename T>
std::optional<T> mul(T a, T b)
{
    T r;
    if (__builtin_mul_overflow(a, b, &r)) return std::nullopt;
    return r;
}

// A double as an integer of type T, cut toward zero as a cast would; nothing when it is not
// finite or out of T's range (where the cast is undefined).
template <typename T>
std::optional<T> toInteger(double value)
{
    static_assert(std::is_integral_v<T>);
    if (!std::isfinite(value)) return std::nullopt;
    const double r = std::trunc(value);
    // Powers of two, so both bounds are exact doubles.
    constexpr double upper = std::is_signed_v<T> ? double(1ULL << (sizeof(T) * 8 - 2)) * 2.0
                                                 : double(1ULL << (sizeof(T) * 8 - 1)) * 2.0;
    constexpr double lower = std::is_signed_v<T> ? -upper : 0.0;
    if (r < lower || r >= upper) return std::nullopt;
    return T(r);
}

}  // namespace Checked
