// Image files decoded into pixels, and map textures built from them (see image_decode.h).
#include "image/image_decode.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "image/decoder_memory.h"
#include "scene/printable.h"

#define STBI_NO_STDIO
#include <stb_image.h>

namespace {

// The memory of the decode running on this thread: the budget its blocks are counted in,
// and whether a block was refused (the reason a decode failed, if it did).
struct DecodeAccount {
    TextureMemory* memory = nullptr;
    bool refused = false;
};
thread_local DecodeAccount* runningDecode = nullptr;

// Each block starts with a header holding its size (16 bytes, so the block stays aligned).
constexpr size_t kBlockHeader = 16;

size_t BlockSize(void* block) {
    size_t bytes;
    std::memcpy(&bytes, static_cast<unsigned char*>(block) - kBlockHeader, sizeof bytes);
    return bytes;
}

// Makes `account` the running decode of this thread for its lifetime.
struct RunningDecode {
    explicit RunningDecode(DecodeAccount& account) { runningDecode = &account; }
    ~RunningDecode() { runningDecode = nullptr; }
    RunningDecode(const RunningDecode&) = delete;
    RunningDecode& operator=(const RunningDecode&) = delete;
};

std::string Dimensions(int64_t width, int64_t height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

}  // namespace

void* DecoderAllocate(size_t bytes) {
    if (bytes > SIZE_MAX - kBlockHeader) return nullptr;
    const size_t total = bytes + kBlockHeader;
    DecodeAccount* account = runningDecode;
    if (account != nullptr && !ReserveTextureMemory(*account->memory, total)) {
        account->refused = true;
        return nullptr;
    }
    auto* base = static_cast<unsigned char*>(std::calloc(1, total));
    if (base == nullptr) {
        if (account != nullptr) ReleaseTextureMemory(*account->memory, total);
        return nullptr;
    }
    std::memcpy(base, &bytes, sizeof bytes);
    return base + kBlockHeader;
}

void* DecoderReallocate(void* block, size_t bytes) {
    if (block == nullptr) return DecoderAllocate(bytes);
    void* grown = DecoderAllocate(bytes);
    if (grown == nullptr) return nullptr;  // the old block stays, as with realloc
    const size_t old = BlockSize(block);
    std::memcpy(grown, block, old < bytes ? old : bytes);
    DecoderFree(block);
    return grown;
}

void DecoderFree(void* block) {
    if (block == nullptr) return;
    const size_t bytes = BlockSize(block);
    if (runningDecode != nullptr) {
        ReleaseTextureMemory(*runningDecode->memory, bytes + kBlockHeader);
    }
    std::free(static_cast<unsigned char*>(block) - kBlockHeader);
}

const char* ImageFormatName(const uint8_t* data, size_t size) {
    if (data == nullptr) return nullptr;
    if (size >= 8 && std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0) return "PNG";
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return "JPEG";
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') return "BMP";
    if (size >= 4 && std::memcmp(data, "GIF8", 4) == 0) return "GIF";
    return nullptr;
}

bool DecodeImage(const uint8_t* data, size_t size, const ImageLimits& limits, TextureMemory& memory,
                 DecodedImage& image, std::string& reason) {
    FreeDecodedImage(image, memory);
    const char* format = ImageFormatName(data, size);
    if (data == nullptr || size == 0) {
        reason = "the file is empty";
        return false;
    }
    if (size > static_cast<size_t>(INT_MAX)) {
        reason = "the file is larger than 2 GiB";
        return false;
    }
    const int length = static_cast<int>(size);
    int width = 0, height = 0, channels = 0;
    if (stbi_info_from_memory(data, length, &width, &height, &channels) == 0) {
        if (format == nullptr) {
            reason = "not a PNG, JPEG, BMP, TGA or GIF image";
        } else {
            reason = std::string("corrupt ") + format +
                     " image: " + PrintableName(stbi_failure_reason());
        }
        return false;
    }
    if (format == nullptr) format = "TGA";
    if (width <= 0 || height <= 0) {
        reason = std::string(format) + " image of " + Dimensions(width, height) + " pixels";
        return false;
    }
    if (width > limits.maxDecodeSide || height > limits.maxDecodeSide) {
        reason = Dimensions(width, height) + " pixels: larger than the " +
                 Dimensions(limits.maxDecodeSide, limits.maxDecodeSide) + " a map may have";
        return false;
    }
    const uint64_t pixelBytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4;
    if (pixelBytes > memory.limit - memory.used) {
        reason = Dimensions(width, height) + " pixels need " + MebibytesText(pixelBytes) +
                 ", more than the " + MebibytesText(memory.limit - memory.used) + " of the " +
                 MebibytesText(memory.limit) + " for maps left";
        return false;
    }

    DecodeAccount account;
    account.memory = &memory;
    int decodedWidth = 0, decodedHeight = 0, decodedChannels = 0;
    unsigned char* pixels = nullptr;
    {
        const RunningDecode running(account);
        pixels =
            stbi_load_from_memory(data, length, &decodedWidth, &decodedHeight, &decodedChannels, 4);
        if (pixels != nullptr && (decodedWidth != width || decodedHeight != height)) {
            // The header read first said otherwise: trust neither.
            DecoderFree(pixels);
            pixels = nullptr;
        }
    }
    if (pixels == nullptr) {
        if (account.refused) {
            reason = "decoding the " + std::string(format) + " image of " +
                     Dimensions(width, height) + " pixels needs more than the " +
                     MebibytesText(memory.limit - memory.used) + " of the " +
                     MebibytesText(memory.limit) + " for maps left";
        } else if (decodedWidth != 0 && (decodedWidth != width || decodedHeight != height)) {
            reason = std::string("corrupt ") + format + " image: it says " +
                     Dimensions(width, height) + " pixels, then holds " +
                     Dimensions(decodedWidth, decodedHeight);
        } else {
            reason = std::string("corrupt ") + format +
                     " image: " + PrintableName(stbi_failure_reason());
        }
        return false;
    }
    image.width = width;
    image.height = height;
    image.channels = decodedChannels;
    image.rgba = pixels;
    image.bytes = BlockSize(pixels) + kBlockHeader;
    return true;
}

void FreeDecodedImage(DecodedImage& image, TextureMemory& memory) {
    if (image.rgba != nullptr) {
        DecodeAccount account;
        account.memory = &memory;
        const RunningDecode running(account);
        DecoderFree(image.rgba);
    }
    image = DecodedImage{};
}

bool LoadTextureFile(const std::string& path, TextureUse use, const ImageLimits& limits,
                     TextureMemory& memory, Texture& texture, std::string& reason) {
    FreeTexture(texture, memory);
    // C stdio rather than a file stream: the stream classes would bring the C++ locale
    // machinery (over 100 KB) into the web build.
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               std::fclose);
    if (!file) {
        reason = "cannot be opened";
        return false;
    }
    const long end = std::fseek(file.get(), 0, SEEK_END) == 0 ? std::ftell(file.get()) : -1;
    if (end < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) {
        reason = "cannot be read";
        return false;
    }
    const auto size = static_cast<uint64_t>(end);
    if (size > memory.limit - memory.used || size > SIZE_MAX) {
        reason = "the file's " + MebibytesText(size) + " are more than the " +
                 MebibytesText(memory.limit - memory.used) + " of the " +
                 MebibytesText(memory.limit) + " for maps left";
        return false;
    }
    // The file's bytes are counted while they are held: until the pixels are decoded.
    ReserveTextureMemory(memory, size);
    std::vector<uint8_t> bytes;
    bool read = true;
    try {
        bytes.resize(static_cast<size_t>(size));
        read =
            bytes.empty() || std::fread(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    } catch (const std::bad_alloc&) {
        read = false;
    }
    DecodedImage image;
    const bool decoded =
        read && DecodeImage(bytes.data(), bytes.size(), limits, memory, image, reason);
    if (!read) reason = "cannot be read";
    std::vector<uint8_t>().swap(bytes);
    ReleaseTextureMemory(memory, size);
    const bool built = decoded && BuildTexture(image.rgba, image.width, image.height, use,
                                               limits.maxTextureSide, memory, texture, reason);
    FreeDecodedImage(image, memory);
    return built;
}
