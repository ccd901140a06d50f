// Where the running program lives, to find what is installed beside it.
#pragma once

#include <string>

// The directory of the running program, symbolic links resolved; empty when unknown.
std::string ProgramDirectory();
