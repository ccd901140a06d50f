// Bytes made printable for a terminal, a log or the screen (see printable.h).
#include "scene/printable.h"

#include <cstring>

void AppendPrintable(std::string& out, const char* bytes, size_t length, bool quoted) {
    static const char kHex[] = "0123456789abcdef";
    if (quoted) out += '"';
    for (size_t i = 0; i < length; ++i) {
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        if (b >= 0x20 && b < 0x7F) {
            if (quoted && (b == '\\' || b == '"')) out += '\\';
            out += static_cast<char>(b);
        } else {
            const char escape[4] = {'\\', 'x', kHex[b >> 4], kHex[b & 0x0F]};
            out.append(escape, sizeof escape);
        }
    }
    if (quoted) out += '"';
}

std::string PrintableName(const char* text) {
    std::string out;
    if (text != nullptr) AppendPrintable(out, text, std::strlen(text), false);
    return out;
}

std::string QuotedName(const char* text) {
    std::string out;
    AppendPrintable(out, text, text == nullptr ? 0 : std::strlen(text), true);
    return out;
}

std::string PrintableBytes(const char* bytes, size_t length) {
    std::string out;
    AppendPrintable(out, bytes, length, false);
    return out;
}

bool IsPrintable(const std::string& text) {
    for (const char c : text) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x20 || b >= 0x7F) return false;
    }
    return true;
}
