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

// One chunk: length, type, data, and the CRC of type and data.
bool PutChunk(const PngSink& sink, const char* type, const uint8_t* data, size_t size,
              std::string& error) {
    uint8_t head[8];
    PutU32(head, static_cast<uint32_t>(size));
    std::memcpy(head + 4, type, 4);
    uLong crc = crc32(0L, head + 4, 4);
    if (size > 0) crc = crc32(crc, data, static_cast<uInt>(size));
    uint8_t tail[4];
    PutU32(tail, static_cast<uint32_t>(crc));
    return sink.write(sink.user, head, sizeof head, error) &&
           (size == 0 || sink.write(sink.user, data, size, error)) &&
           sink.write(sink.user, tail, sizeof tail, error);
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

// A stdio stream as a sink.
bool WriteToStream(void* user, const void* bytes, size_t size, std::string& error) {
    errno = 0;
    if (std::fwrite(bytes, 1, size, static_cast<std::FILE*>(user)) == size) return true;
    error = errno != 0 ? std::strerror(errno) : "write failure";
    return false;
}

}  // namespace

void PixelsToRgb(const uint32_t* pixels, size_t count, uint8_t* rgb) {
    for (size_t i = 0; i < count; ++i) {
        rgb[3 * i + 0] = static_cast<uint8_t>(pixels[i] >> 16);
        rgb[3 * i + 1] = static_cast<uint8_t>(pixels[i] >> 8);
        rgb[3 * i + 2] = static_cast<uint8_t>(pixels[i]);
    }
}

bool WritePng(const PngSink& sink, const uint8_t* rgb, int32_t width, int32_t height,
              std::string& error) {
    if (width < 1 || height < 1 || width > 65535 || height > 65535) {
        error = "frame size out of range";
        return false;
    }
    const size_t rowBytes = 3 * static_cast<size_t>(width);
    const size_t dataSize = static_cast<size_t>(height) * (rowBytes + 1);

    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    uint8_t header[13];
    PutU32(header, static_cast<uint32_t>(width));
    PutU32(header + 4, static_cast<uint32_t>(height));
    header[8] = 8;   // bits per sample
    header[9] = 2;   // RGB
    header[10] = 0;  // deflate
    header[11] = 0;  // the adaptive filter method (every row filtered with "none")
    header[12] = 0;  // not interlaced
    const uint8_t perceptual = 0;
    if (!sink.write(sink.user, kSignature, sizeof kSignature, error) ||
        !PutChunk(sink, "IHDR", header, sizeof header, error) ||
        !PutChunk(sink, "sRGB", &perceptual, 1, error)) {
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
    std::string writeError;
    // Hands the deflated bytes to IDAT chunks, each full one as it fills.
    const auto flushOut = [&](bool last) {
        const size_t size = kIdatSize - stream.avail_out;
        if (stream.avail_out != 0 && !last) return;
        if (first && size >= 2) NarrowHeaderWindow(out, dataSize);
        first = false;
        if (size > 0 && written) written = PutChunk(sink, "IDAT", out, size, writeError);
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
    if (!written) {
        error = writeError;
        return false;
    }
    if (status != Z_STREAM_END) {
        error = "PNG encoder failure";
        return false;
    }
    return PutChunk(sink, "IEND", nullptr, 0, error);
}

bool WritePng(std::FILE* file, const uint8_t* rgb, int32_t width, int32_t height,
              std::string& error) {
    return WritePng(PngSink{file, WriteToStream}, rgb, width, height, error);
}
