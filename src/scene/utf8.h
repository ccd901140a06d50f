// Names from a scene file as UTF-8 text, for formats that carry text rather than bytes (the
// JSON report). Names in .3ds files are bytes in whatever code page the exporter used: valid
// UTF-8 is kept as it is, anything else is read as Latin-1, which maps every byte to one
// character and so loses nothing. (Text shown to people escapes the bytes instead: see
// printable.h.)
#pragma once

#include <cstddef>
#include <string>

// True when the `length` bytes are well-formed UTF-8: no stray continuation bytes, no
// overlong forms, no surrogates and no values past U+10FFFF.
bool IsUtf8(const char* bytes, size_t length);

// The NUL-terminated `name` as UTF-8: itself when it is UTF-8, else each byte read as the
// Latin-1 character of that value. A null pointer gives "".
std::string NameAsUtf8(const char* name);
