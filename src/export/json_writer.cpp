// The JSON writer of the glTF export.
#include "export/json_writer.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// Before a value or a key: the comma that separates it from the one before.
void Separate(JsonWriter& w) {
    if (w.afterKey) {
        w.afterKey = false;
        return;
    }
    if (!w.needsComma.empty()) {
        if (w.needsComma.back() != 0) w.out += ',';
        w.needsComma.back() = 1;
    }
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    out += '"';
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

void JsonBeginObject(JsonWriter& w) {
    Separate(w);
    w.out += '{';
    w.needsComma.push_back(0);
}

void JsonEndObject(JsonWriter& w) {
    w.out += '}';
    w.needsComma.pop_back();
}

void JsonBeginArray(JsonWriter& w) {
    Separate(w);
    w.out += '[';
    w.needsComma.push_back(0);
}

void JsonEndArray(JsonWriter& w) {
    w.out += ']';
    w.needsComma.pop_back();
}

void JsonKey(JsonWriter& w, std::string_view key) {
    Separate(w);
    AppendJsonString(w.out, key);
    w.out += ':';
    w.afterKey = true;
}

void JsonString(JsonWriter& w, std::string_view text) {
    Separate(w);
    AppendJsonString(w.out, text);
}

void JsonNumber(JsonWriter& w, double value) {
    Separate(w);
    if (!std::isfinite(value)) value = 0.0;
    if (value == 0.0) value = 0.0;  // no "-0"
    char text[32];
#if defined(__cpp_lib_to_chars)
    const auto result = std::to_chars(text, text + sizeof text, value);
    w.out.append(text, result.ptr);
#else
    // A standard library without floating-point to_chars (the browser build's): the fewest
    // significant digits that read back as the same double.
    int length = 0;
    for (int digits = 1; digits <= 17; ++digits) {
        length = std::snprintf(text, sizeof text, "%.*g", digits, value);
        if (std::strtod(text, nullptr) == value) break;
    }
    w.out.append(text, static_cast<size_t>(length));
#endif
}

void JsonInteger(JsonWriter& w, int64_t value) {
    Separate(w);
    char text[24];
    const auto result = std::to_chars(text, text + sizeof text, value);
    w.out.append(text, result.ptr);
}

void JsonBool(JsonWriter& w, bool value) {
    Separate(w);
    w.out += value ? "true" : "false";
}
