// Forced into every file of the browser build: what the standard library of Debian's
// emscripten lacks. Its clang has the builtin that std::bit_cast is made of.
#pragma once

#include <version>

#if defined(__cplusplus) && !defined(__cpp_lib_bit_cast)
#include <type_traits>

namespace std {
template <class To, class From>
constexpr To bit_cast(const From& from) noexcept {
    static_assert(sizeof(To) == sizeof(From));
    static_assert(std::is_trivially_copyable_v<To> && std::is_trivially_copyable_v<From>);
    return __builtin_bit_cast(To, from);
}
}  // namespace std
#endif

// This C library's INFINITY is a float: `double x = INFINITY` is exact, not a promotion to
// warn about.
#pragma clang diagnostic ignored "-Wdouble-promotion"
