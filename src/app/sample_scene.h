// The sample scene installed with the program, shown when none is named and the working
// directory holds no svet.3ds (a viewer started from the desktop's menu, say).
#pragma once

#include <string>

// The installed sample's path: TRELLIS_SAMPLE_DIR (relative to the program's directory, e.g.
// ../share/trellis) holding svet.3ds, which the build tree has a copy of too. Empty when it
// is not there.
std::string FindSampleScene();
