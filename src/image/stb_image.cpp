// The image decoder: stb_image (Debian's libstb-dev), compiled here once for every build.
//
// - Only the formats maps come in: PNG, JPEG, BMP, TGA and GIF.
// - No SIMD: the SIMD and the plain JPEG paths need not agree to the bit, and every build
//   (x86-64, Windows, WebAssembly) must give the same pixels, so all take the plain path.
// - No stdio: files are read by image_decode.cpp, which knows their size before reading.
// - Its memory comes from decoder_memory.h: counted, capped and zeroed.
#include "image/decoder_memory.h"

#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STBI_ONLY_GIF
#define STBI_NO_SIMD
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_FAILURE_USERMSG
#define STBI_MALLOC(bytes) DecoderAllocate(bytes)
#define STBI_REALLOC(block, bytes) DecoderReallocate(block, bytes)
#define STBI_FREE(block) DecoderFree(block)
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>
