// File-controlled bytes made safe to show: names from a scene file, paths and arguments
// given by a user, echoed in failure reasons, reports, logs, window titles or on screen.
//
// A name is data. Shown as it is, a name holding ESC, CR, LF or other control bytes could
// move the cursor, rewrite what a terminal already shows, fake a line of output or change
// a window title; bytes that are not UTF-8 can garble what follows. So every such text
// passes through one function, whose output is printable ASCII only (0x20 to 0x7E):
//
// - a printable ASCII byte stays as it is;
// - every other byte (C0 controls, DEL, and every byte from 0x80 up, which covers C1
//   controls and all of UTF-8) becomes the four characters \xNN, NN its value in
//   lower-case hexadecimal;
// - in the quoted form the text stands between double quotes, and a backslash and a double
//   quote inside it are escaped with a backslash, so the quoted text can be read back
//   unambiguously ("a\"b\\c\x1b").
//
// The result is always one line, however many line breaks the bytes hold.
#pragma once

#include <cstddef>
#include <string>

// Appends `length` bytes from `bytes` (NUL bytes included, as \x00) to `out`, made
// printable; between double quotes, with backslash and double quote escaped, when `quoted`.
void AppendPrintable(std::string& out, const char* bytes, size_t length, bool quoted);

// The NUL-terminated `text` made printable, bare: e.g. for a name in a column of a report.
// A null pointer gives "".
std::string PrintableName(const char* text);

// The NUL-terminated `text` made printable and quoted: e.g. mesh "Box\x0a01". A null
// pointer is an empty name: "" (the two quotes).
std::string QuotedName(const char* text);

// `length` bytes made printable, bare (NUL bytes as \x00): e.g. the first bytes of a file.
std::string PrintableBytes(const char* bytes, size_t length);

// True when every byte of `text` is printable ASCII: what the functions above return.
bool IsPrintable(const std::string& text);
