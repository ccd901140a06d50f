// What the program says about a scene file that did not load, or that is not a 3DS file:
// the same words from the viewer, --output, --info and the Windows program.
#pragma once

#include <string>

// Why the last load of `fileName` failed, in one line: the file, where the loader stopped
// (chunk and offset) and the reason. Printed on stderr after "trellis: ". Printable ASCII
// only: the file name's other bytes are escaped as \xNN.
std::string LoadFailureText(const char* fileName);

// Why the file of the last load, which succeeded, is not a 3DS file: e.g.
// `not a 3DS file (it starts with "hello\x0a")` when its first bytes (shown printable) are
// not the main chunk's id, or `not a 3DS file (it is empty)`. Empty for a 3DS file. Such a
// file loads as a scene with nothing in it; the viewer then says so on stderr and goes on,
// --info and --json say it in their report.
std::string NotA3dsReason();

// Prints "trellis: FILE: <NotA3dsReason()>" on stderr after a load of a file that is not a
// 3DS file (it shows nothing); nothing for any other file.
void ReportNotA3ds(const char* fileName);
