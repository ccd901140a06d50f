// UTF-8 checks and Latin-1 to UTF-8 conversion for names.
#include "scene/utf8.h"

#include <cstdint>
#include <cstring>

bool IsUtf8(const char* bytes, size_t length) {
    static const uint32_t kSmallest[4] = {0, 0x80, 0x800, 0x10000};
    const auto* s = reinterpret_cast<const unsigned char*>(bytes);
    size_t i = 0;
    while (i < length) {
        const unsigned char b = s[i];
        size_t extra;
        uint32_t code;
        if (b < 0x80) {
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            extra = 1;
            code = b & 0x1Fu;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2;
            code = b & 0x0Fu;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3;
            code = b & 0x07u;
        } else {
            return false;
        }
        if (length - i <= extra) return false;
        for (size_t k = 1; k <= extra; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) return false;
            code = (code << 6) | (s[i + k] & 0x3Fu);
        }
        if (code < kSmallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

std::string NameAsUtf8(const char* name) {
    if (name == nullptr) return {};
    const size_t length = std::strlen(name);
    if (IsUtf8(name, length)) return std::string(name, length);
    std::string latin1;
    for (size_t i = 0; i < length; ++i) {
        const auto b = static_cast<unsigned char>(name[i]);
        if (b < 0x80) {
            latin1 += static_cast<char>(b);
        } else {
            latin1 += static_cast<char>(0xC0 | (b >> 6));
            latin1 += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return latin1;
}
