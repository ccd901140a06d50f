// The PNG encoder over zlib.
#include "app/png_writer.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr int kLevel = 3;
constexpr size_t kIdatSize = 8192;  // the deflated bytes of one IDAT chunk

void PutU32(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

// Where the encoded bytes go: a file, or the end of a byte array.
struct PngOut {
    std::FILE* file = nullptr;
    std::vector<uint8_t>* bytes = nullptr;
};

bool Put(PngOut& out, const void* data, size_t size) {
    if (out.file != nullptr) return std::fwrite(data, 1, size, out.file) == size;
    const auto* first = static_cast<const uint8_t*>(data);
    out.bytes->insert(out.bytes->end(), first, first + size);
    return true;
}

// One chunk: length, type, data, and the CRC of type and data.
bool PutChunk(PngOut& out, const char* type, const uint8_t* data, size_t size) {
    uint8_t head[8];
    PutU32(head, static_cast<uint32_t>(size));
    std::memcpy(head + 4, type, 4);
    uLong crc = crc32(0L, head + 4, 4);
    if (size > 0) crc = crc32(crc, data, static_cast<uInt>(size));
    uint8_t tail[4];
    PutU32(tail, static_cast<uint32_t>(crc));
    return Put(out, head, sizeof head) && (size == 0 || Put(out, data, size)) &&
           Put(out, tail, sizeof tail);
}

// The window for `dataSize` bytes of image data: the whole 32 KiB, or for a small image
// the smallest power of two that still holds it (with deflate's 262 bytes of look-ahead).
int WindowBits(size_t dataSize) {
    int bits = 15;
    if (dataSize <= 16384) {
        size_t half = size_t{1} << (bits - 1);
        while (dataSize + 262 <= half) {
            half >>= 1;
            --bits;
        }
    }
    return bits;
}

// zlib never writes a window below 512 bytes into the stream's header; a small image's
// header says the smallest window that holds the image, which is what a reader needs.
void NarrowHeaderWindow(uint8_t* header, size_t dataSize) {
    if (dataSize > 16384) return;
    unsigned cmf = header[0];
    if ((cmf & 0x0F) != 8 || (cmf & 0xF0) > 0x70) return;
    unsigned info = cmf >> 4;
    size_t half = size_t{1} << (info + 7);
    if (dataSize > half) return;
    do {
        half >>= 1;
        --info;
    } while (info > 0 && dataSize <= half);
    cmf = (cmf & 0x0F) | (info << 4);
    header[0] = static_cast<uint8_t>(cmf);
    unsigned flg = header[1] & 0xE0u;
    flg += 0x1F - ((cmf << 8) + flg) % 0x1F;
    header[1] = static_cast<uint8_t>(flg);
}

std::string WriteFailure() {
    return errno != 0 ? std::strerror(errno) : "write failure";
}

}  // namespace

void PixelsToRgb(const uint32_t* pixels, size_t count, uint8_t* rgb) {
    for (size_t i = 0; i < count; ++i) {
        rgb[3 * i + 0] = static_cast<uint8_t>(pixels[i] >> 16);
        rgb[3 * i + 1] = static_cast<uint8_t>(pixels[i] >> 8);
        rgb[3 * i + 2] = static_cast<uint8_t>(pixels[i]);
    }
}

namespace {

// The PNG of `width` x `height` pixels of `channels` bytes (3: RGB, 4: RGBA) into `file`.
bool EncodeTo(PngOut& file, const uint8_t* rgb, int32_t channels, int32_t width, int32_t height,
              std::string& error) {
    if (width < 1 || height < 1 || width > 65535 || height > 65535) {
        error = "frame size out of range";
        return false;
    }
    const size_t rowBytes = static_cast<size_t>(channels) * static_cast<size_t>(width);
    const size_t dataSize = static_cast<size_t>(height) * (rowBytes + 1);

    errno = 0;
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    uint8_t header[13];
    PutU32(header, static_cast<uint32_t>(width));
    PutU32(header + 4, static_cast<uint32_t>(height));
    header[8] = 8;                      // bits per sample
    header[9] = channels == 4 ? 6 : 2;  // RGBA or RGB
    header[10] = 0;                     // deflate
    header[11] = 0;  // the adaptive filter method (every row filtered with "none")
    header[12] = 0;  // not interlaced
    const uint8_t perceptual = 0;
    if (!Put(file, kSignature, sizeof kSignature) ||
        !PutChunk(file, "IHDR", header, sizeof header) || !PutChunk(file, "sRGB", &perceptual, 1)) {
        error = WriteFailure();
        return false;
    }

    z_stream stream = {};
    if (deflateInit2(&stream, kLevel, Z_DEFLATED, WindowBits(dataSize), 8, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
        error = "out of memory for the PNG encoder";
        return false;
    }
    uint8_t out[kIdatSize];
    bool first = true;
    bool written = true;
    // Hands the deflated bytes to IDAT chunks, each full one as it fills.
    const auto flushOut = [&](bool last) {
        const size_t size = kIdatSize - stream.avail_out;
        if (stream.avail_out != 0 && !last) return;
        if (first && size >= 2) NarrowHeaderWindow(out, dataSize);
        first = false;
        if (size > 0 && written) written = PutChunk(file, "IDAT", out, size);
        stream.next_out = out;
        stream.avail_out = kIdatSize;
    };
    stream.next_out = out;
    stream.avail_out = kIdatSize;
    int status = Z_OK;
    uint8_t filter = 0;  // each row: filter type "none", then its bytes
    for (int32_t y = 0; y < height && status == Z_OK && written; ++y) {
        const uint8_t* pieces[2] = {&filter, rgb + static_cast<size_t>(y) * rowBytes};
        const size_t sizes[2] = {1, rowBytes};
        for (int p = 0; p < 2 && status == Z_OK; ++p) {
            stream.next_in = const_cast<uint8_t*>(pieces[p]);
            stream.avail_in = static_cast<uInt>(sizes[p]);
            while (stream.avail_in > 0 && status == Z_OK) {
                status = deflate(&stream, Z_NO_FLUSH);
                flushOut(false);
            }
        }
    }
    while (status == Z_OK && written) {
        status = deflate(&stream, Z_FINISH);
        flushOut(status == Z_STREAM_END);
    }
    deflateEnd(&stream);
    if (status != Z_STREAM_END) {
        error = written ? "PNG encoder failure" : WriteFailure();
        return false;
    }
    if (!written || !PutChunk(file, "IEND", nullptr, 0)) {
        error = WriteFailure();
        return false;
    }
    return true;
}

}  // namespace

bool WritePng(std::FILE* file, const uint8_t* rgb, int32_t width, int32_t height,
              std::string& error) {
    PngOut out;
    out.file = file;
    return EncodeTo(out, rgb, 3, width, height, error);
}

bool EncodePng(const uint8_t* pixels, int32_t channels, int32_t width, int32_t height,
               std::vector<uint8_t>& png, std::string& error) {
    png.clear();
    if (channels != 3 && channels != 4) {
        error = "PNG pixels must have 3 or 4 channels";
        return false;
    }
    PngOut out;
    out.bytes = &png;
    return EncodeTo(out, pixels, channels, width, height, error);
}
