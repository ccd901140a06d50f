// Map images as PNG for the glTF export: the program's image decoder and PNG encoder behind
// the export's GltfOptions::toPng seam, so that BMP, TGA and GIF maps are carried over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Decodes the image file `bytes` (BMP, TGA, GIF's first frame, or anything else the map
// decoder reads, within its limits) and encodes it as PNG into `png`: RGBA when the file
// has an alpha channel, else RGB. False with a one-line reason when the image cannot be
// decoded or encoded. `user` is unused (the seam's signature).
bool MapImageToPng(void* user, const uint8_t* bytes, size_t size, std::vector<uint8_t>& png,
                   std::string& reason);
