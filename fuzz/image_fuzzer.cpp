// libFuzzer target: every input is decoded as a map image, built into a texture and sampled.
//
// Beyond what the sanitizers catch, the target aborts (a crash the fuzzer reports) when:
// - a failed decode has no reason, or one that is not one line of printable ASCII;
// - a decoded image's size is not positive or passes the side limit;
// - the memory counted for the maps ever passed its limit, or any of it is still counted
//   once the image and the texture are freed.
// Every decoded byte and every level's texels are read, so that the sanitizers see any byte
// that was never written.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "image/image_decode.h"
#include "render/texture.h"
#include "scene/printable.h"

namespace {

void Check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "image_fuzzer: unsound result: %s\n", what);
    std::abort();
}

void CheckReason(const std::string& reason) {
    Check(!reason.empty(), "a failure without a reason");
    Check(IsPrintable(reason), "a reason that is not one line of printable ASCII");
}

uint32_t SampleEverywhere(const Texture& texture) {
    uint32_t sum = 0;
    for (const TextureFilter filter :
         {TextureFilter::kNearest, TextureFilter::kBilinear, TextureFilter::kTrilinear}) {
        for (const uint16_t tiling : {uint16_t{0x0000}, uint16_t{0x0002}, uint16_t{0x0011}}) {
            MapSampler sampler;
            const MaterialMap map{1, nullptr, 1.0f, tiling, 1.5f, -2.0f, 0.25f, 0.1f, 30.0f};
            PrepareMapSampler(texture, map, filter, sampler);
            for (int i = -8; i <= 24; ++i) {
                const float s = static_cast<float>(i) / 16.0f;
                for (const int32_t lod : {-300, 0, 100, 256, 700, 5000})
                    sum += SampleMap(sampler, s, 1.0f - s, lod);
            }
        }
    }
    return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Images of up to about 500 x 500 pixels decode; larger ones are refused by the limit,
    // which keeps the fuzzer fast (a hostile header is cheap, decoding a picture is not).
    TextureMemory memory;
    memory.limit = 4u << 20;
    ImageLimits limits;
    limits.maxTextureSide = 256;
    DecodedImage image;
    std::string reason;
    uint32_t sum = 0;
    if (DecodeImage(data, size, limits, memory, image, reason)) {
        Check(image.width > 0 && image.height > 0 && image.width <= limits.maxDecodeSide &&
                  image.height <= limits.maxDecodeSide && image.rgba != nullptr,
              "a decoded image of an impossible size");
        const size_t bytes = static_cast<size_t>(image.width) * image.height * 4;
        for (size_t i = 0; i < bytes; ++i)
            sum += image.rgba[i];
        Texture texture;
        if (BuildTexture(image.rgba, image.width, image.height, TextureUse::kColor,
                         limits.maxTextureSide, memory, texture, reason)) {
            for (int32_t level = 0; level < texture.levelCount; ++level) {
                const uint32_t* texels = texture.texels.get() + texture.offset[level];
                for (int32_t i = 0; i < texture.width[level] * texture.height[level]; ++i)
                    sum += texels[i];
            }
            sum += SampleEverywhere(texture);
        } else {
            CheckReason(reason);
        }
        FreeTexture(texture, memory);
    } else {
        CheckReason(reason);
    }
    FreeDecodedImage(image, memory);
    Check(memory.peak <= memory.limit, "more memory held than the limit");
    Check(memory.used == 0, "memory still counted after everything was freed");
    volatile uint32_t sink = sum;
    (void)sink;
    return 0;
}
