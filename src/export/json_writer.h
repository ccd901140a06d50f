// A small JSON writer: objects, arrays, keys, strings and numbers appended to a string,
// commas placed by the writer. Strings are written as given (UTF-8) with the characters JSON
// requires escaped; numbers are written in the shortest form that reads back as the same
// double, and a number that is not finite is written as 0 (the caller keeps such values out).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct JsonWriter {
    std::string out;
    std::vector<uint8_t> needsComma;  // per open object or array: a value was written in it
    bool afterKey = false;            // a key was written; its value comes next
};

void JsonBeginObject(JsonWriter& w);
void JsonEndObject(JsonWriter& w);
void JsonBeginArray(JsonWriter& w);
void JsonEndArray(JsonWriter& w);
void JsonKey(JsonWriter& w, std::string_view key);
void JsonString(JsonWriter& w, std::string_view text);
void JsonNumber(JsonWriter& w, double value);
void JsonInteger(JsonWriter& w, int64_t value);
void JsonBool(JsonWriter& w, bool value);

// Appends `text` to `out` as a JSON string, quotes included.
void AppendJsonString(std::string& out, std::string_view text);
