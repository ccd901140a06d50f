// Saving the frame shown, in the browser: the page offers it as a download.
#include <emscripten.h>

#include <cstdio>

#include "app/frame_file.h"

namespace {

// Makes width x height pixels (0x00RRGGBB) a PNG through a canvas and hands it to the
// browser as the download `name`.
// clang-format off
EM_JS(void, DownloadFrame, (const uint32_t* pixels, int width, int height, const char* name), {
    var canvas = document.createElement('canvas');
    canvas.width = width;
    canvas.height = height;
    var context = canvas.getContext('2d');
    var image = context.createImageData(width, height);
    var words = HEAPU32.subarray(pixels >> 2, (pixels >> 2) + width * height);
    for (var i = 0; i < words.length; i++) {
        var p = words[i];
        image.data[4 * i] = (p >> 16) & 255;
        image.data[4 * i + 1] = (p >> 8) & 255;
        image.data[4 * i + 2] = p & 255;
        image.data[4 * i + 3] = 255;
    }
    context.putImageData(image, 0, 0);
    var fileName = UTF8ToString(name);
    canvas.toBlob(function(blob) {
        var link = document.createElement('a');
        link.href = URL.createObjectURL(blob);
        link.download = fileName;
        document.body.appendChild(link);
        link.click();
        link.remove();
        setTimeout(function() { URL.revokeObjectURL(link.href); }, 1000);
    }, 'image/png');
});
// clang-format on

}  // namespace

// The browser keeps its own downloads: each save is the next number, from 0001 to 9999.
bool SaveFrameFile(const uint32_t* pixels, int32_t width, int32_t height, int32_t& nextNumber,
                   std::string& path, std::string& error) {
    const int32_t number = nextNumber < 1 ? 1 : nextNumber;
    if (number > 9999) {
        error = "trellis-9999.png was the last";
        return false;
    }
    path = FrameFileName(number);
    DownloadFrame(pixels, width, height, path.c_str());
    nextNumber = number + 1;
    return true;
}
