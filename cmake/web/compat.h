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

// std::atomic_ref for the plain loads and stores of the renderer (the browser build has one
// thread, but the code is written for several): the compiler's atomic builtins.
#if defined(__cplusplus) && !defined(__cpp_lib_atomic_ref)
#include <atomic>

namespace std {
template <class T>
class atomic_ref {
public:
    static constexpr bool is_always_lock_free = __atomic_always_lock_free(sizeof(T), 0);
    explicit atomic_ref(T& object) noexcept : object_(&object) {}
    void store(T value, memory_order order = memory_order_seq_cst) const noexcept {
        __atomic_store(object_, &value, static_cast<int>(order));
    }
    T load(memory_order order = memory_order_seq_cst) const noexcept {
        T value;
        __atomic_load(object_, &value, static_cast<int>(order));
        return value;
    }

private:
    T* object_;
};
}  // namespace std
#endif

// This C library's INFINITY is a float: `double x = INFINITY` is exact, not a promotion to
// warn about.
#pragma clang diagnostic ignored "-Wdouble-promotion"
