// Handlers of the colour and percentage chunks, the material's properties and its maps.
//
// Colour chunks (three floats or three bytes, gamma or linear) and percentage chunks (an
// integer or a float) carry no meaning of their own: each gives its value to the chunk it
// stands under, named by loaderState.parentChunkId:
// - colours: a material's ambient, diffuse or specular colour (0xA010, 0xA020, 0xA030), the
//   background (0x1200), the ambient light (0x2100) and a light's own colour (0x4600). Under
//   one such chunk a linear colour wins over a gamma one, whichever comes first; otherwise
//   the later colour wins. Bytes are divided by 255.
// - percentages: a material's shininess (0xA040), shininess strength (0xA041), transparency
//   (0xA050), transparency falloff (0xA052), reflection blur (0xA053) and self-illumination
//   (0xA084), and the amount of its texture map (0xA200) or opacity map (0xA210); divided by
//   100.
// A value under any other chunk is dropped. Float colours (0x0010, 0x0013) also keep their
// older route: the light named like currentName, wherever the chunk stands (Light::color).
//
// A material's chunks describe the material whose name its material chunk (0xAFFF) has
// opened, and nothing outside that chunk. Map parameters describe the map they stand under.
// Every handler here reads the same bytes in both passes and stores only in the fill pass.
// Apart from the float colours, whose short payload fails the load, a payload too short for
// its value is skipped and the value dropped: these chunks never fail on the file's data.
#include <cstdint>
#include <cstdio>

#include "scene/loader.h"
#include "scene/loader_internal.h"
#include "scene/printable.h"

namespace {

// Chunk ids that colours and percentages are routed by.
constexpr uint16_t kEditorChunk = 0x3D3D;
constexpr uint16_t kBackgroundChunk = 0x1200;
constexpr uint16_t kAmbientChunk = 0x2100;
constexpr uint16_t kLightChunk = 0x4600;
constexpr uint16_t kAmbientColorChunk = 0xA010;
constexpr uint16_t kDiffuseColorChunk = 0xA020;
constexpr uint16_t kSpecularColorChunk = 0xA030;
constexpr uint16_t kShininessChunk = 0xA040;
constexpr uint16_t kShininessStrengthChunk = 0xA041;
constexpr uint16_t kTransparencyChunk = 0xA050;
constexpr uint16_t kTransparencyFalloffChunk = 0xA052;
constexpr uint16_t kReflectionBlurChunk = 0xA053;
constexpr uint16_t kSelfIlluminationChunk = 0xA084;
constexpr uint16_t kTextureMapChunk = 0xA200;
constexpr uint16_t kOpacityMapChunk = 0xA210;

// The material that the running chunk describes: the one named in the material chunk being
// walked, in the fill pass; null outside a material chunk and before its name.
Material* CurrentMaterial() {
    const LoaderState& s = loaderState;
    if (s.countingPass || s.position > s.materialEnd) return nullptr;
    return s.currentMaterial;
}

// The map of the current material that the chunk `id` opens, or null.
MaterialMap* MapOf(uint16_t id) {
    Material* material = CurrentMaterial();
    if (material == nullptr) return nullptr;
    if (id == kTextureMapChunk) return &material->textureMap;
    if (id == kOpacityMapChunk) return &material->opacityMap;
    return nullptr;
}

// The map that the running chunk stands under, or null.
MaterialMap* ParentMap() {
    return MapOf(loaderState.parentChunkId);
}

// Reads a payload of `count` bytes whose value is dropped when cut short: 1 when the bytes
// were all before the chunk's end and are read; 0 when they were not, and what there is was
// skipped; -1 (recorded) when the stream fails to give bytes the file holds.
int32_t ReadIfWhole(FILE* stream, int32_t chunkEnd, unsigned char* out, size_t count) {
    if (BytesLeft(chunkEnd) < static_cast<int64_t>(count)) {
        SkipAtMost(stream, chunkEnd, static_cast<int64_t>(count));
        return 0;
    }
    return ReadBytes(stream, out, count) == 0 ? 1 : -1;
}

// 255 x a colour component, truncated toward zero. The product is exact in double
// precision; values outside the signed 32-bit range saturate and NaN gives 0, so no colour
// in the file can make the conversion undefined.
int32_t ColorTo255(float component) {
    const double scaled = 255.0 * static_cast<double>(component);
    if (!(scaled == scaled)) return 0;
    if (scaled >= 2147483647.0) return INT32_MAX;
    if (scaled <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(scaled);
}

// Gives a colour read in the fill pass to the chunk it stands under (see the top of the
// file); a gamma colour is dropped where a linear one was stored under the same chunk.
void StoreColor(const float (&rgb)[3], bool linear) {
    LoaderState& s = loaderState;
    if (s.countingPass) return;
    if (!linear && s.linearColorParent == s.parentChunkStart) return;
    Scene* scene = s.scene;
    float* target = nullptr;
    switch (s.parentChunkId) {
        case kAmbientColorChunk:
        case kDiffuseColorChunk:
        case kSpecularColorChunk:
            if (Material* material = CurrentMaterial()) {
                if (s.parentChunkId == kAmbientColorChunk) {
                    target = material->ambient;
                    material->colorsRead |= kMaterialAmbientRead;
                } else if (s.parentChunkId == kDiffuseColorChunk) {
                    target = material->diffuse;
                    material->colorsRead |= kMaterialDiffuseRead;
                } else {
                    target = material->specular;
                    material->colorsRead |= kMaterialSpecularRead;
                }
            }
            break;
        case kBackgroundChunk:
            target = scene->backgroundColor;
            scene->backgroundRead = 1;
            break;
        case kAmbientChunk:
            target = scene->ambientLight;
            scene->ambientRead = 1;
            break;
        case kLightChunk:
            // The light chunk opens its light before its children are walked.
            if (Light* light = s.currentLight) {
                target = light->emitColor;
                light->emitColorRead = 1;
            }
            break;
        default:
            break;
    }
    if (target == nullptr) return;
    for (int i = 0; i < 3; ++i)
        target[i] = rgb[i];
    if (linear) s.linearColorParent = s.parentChunkStart;
}

// Gives a percentage read in the fill pass, as a fraction, to the chunk it stands under.
void StoreFraction(float fraction) {
    LoaderState& s = loaderState;
    if (MaterialMap* map = ParentMap()) {
        map->amount = fraction;
        return;
    }
    Material* material = CurrentMaterial();
    if (material == nullptr) return;
    switch (s.parentChunkId) {
        case kShininessChunk:
            material->shininess = fraction;
            break;
        case kShininessStrengthChunk:
            material->shininessStrength = fraction;
            break;
        case kTransparencyChunk:
            material->transparency = fraction;
            break;
        case kTransparencyFalloffChunk:
            material->transparencyFalloff = fraction;
            break;
        case kReflectionBlurChunk:
            material->reflectionBlur = fraction;
            break;
        case kSelfIlluminationChunk:
            material->selfIllumination = fraction;
            break;
        default:
            break;
    }
}

// 0x0010, 0x0013: red, green, blue as floats. A payload cut short fails the load.
int32_t ReadFloatColorAs(FILE* stream, int32_t chunkEnd, bool linear) {
    unsigned char bytes[12];
    if (ReadFixed(stream, chunkEnd, bytes, sizeof bytes, "the colour needs") != 0) return -1;
    LoaderState& s = loaderState;
    if (s.countingPass) return 0;
    const float rgb[3] = {GetFloat(bytes), GetFloat(bytes + 4), GetFloat(bytes + 8)};
    // The light named like currentName takes the colour wherever it stands: under a light
    // that is the light's own object name.
    const int32_t index = FindLightByName(s.currentName);
    if (index >= 0) {
        Light& light = s.scene->lights[index];
        for (int i = 0; i < 3; ++i) {
            light.color[i] = rgb[i];
            light.color255[i] = ColorTo255(rgb[i]);
        }
    }
    StoreColor(rgb, linear);
    return 0;
}

// 0x0011, 0x0012: red, green, blue as bytes.
int32_t ReadByteColorAs(FILE* stream, int32_t chunkEnd, bool linear) {
    unsigned char bytes[3];
    const int32_t read = ReadIfWhole(stream, chunkEnd, bytes, sizeof bytes);
    if (read <= 0) return read;
    const float rgb[3] = {bytes[0] / 255.0f, bytes[1] / 255.0f, bytes[2] / 255.0f};
    StoreColor(rgb, linear);
    return 0;
}

// A material flag chunk (no payload): sets `field` of the current material.
int32_t SetMaterialFlag(int32_t Material::*field) {
    if (Material* material = CurrentMaterial()) material->*field = 1;
    return 0;
}

// A float parameter of the map the chunk stands under.
int32_t ReadMapFloat(FILE* stream, int32_t chunkEnd, float MaterialMap::*field) {
    unsigned char bytes[4];
    const int32_t read = ReadIfWhole(stream, chunkEnd, bytes, sizeof bytes);
    if (read <= 0) return read;
    if (MaterialMap* map = ParentMap()) map->*field = GetFloat(bytes);
    return 0;
}

}  // namespace

void SetMaterialDefaults(Material& material) {
    for (int i = 0; i < 3; ++i) {
        material.ambient[i] = 0.588f;
        material.diffuse[i] = 0.588f;
        material.specular[i] = 0.898f;
    }
    material.colorsRead = 0;
    material.shininess = 0.0f;
    material.shininessStrength = 0.0f;
    material.transparency = 0.0f;
    material.transparencyFalloff = 0.0f;
    material.reflectionBlur = 0.0f;
    material.selfIllumination = 0.0f;
    material.twoSided = 0;
    material.additive = 0;
    material.wire = 0;
    material.wireSize = 1.0f;
    material.shading = 3;
    for (MaterialMap* map : {&material.textureMap, &material.opacityMap}) {
        map->present = 0;
        map->fileName = nullptr;
        map->amount = 1.0f;
        map->tiling = 0;
        map->uScale = 1.0f;
        map->vScale = 1.0f;
        map->uOffset = 0.0f;
        map->vOffset = 0.0f;
        map->rotation = 0.0f;
    }
}

// ---- Colours and percentages ------------------------------------------------------------

int32_t ReadFloatColor(FILE* stream, int32_t chunkEnd) {
    return ReadFloatColorAs(stream, chunkEnd, false);
}

int32_t ReadLinearFloatColor(FILE* stream, int32_t chunkEnd) {
    return ReadFloatColorAs(stream, chunkEnd, true);
}

int32_t ReadByteColor(FILE* stream, int32_t chunkEnd) {
    return ReadByteColorAs(stream, chunkEnd, false);
}

int32_t ReadLinearByteColor(FILE* stream, int32_t chunkEnd) {
    return ReadByteColorAs(stream, chunkEnd, true);
}

// 0x0030: a signed 16-bit percentage.
int32_t ReadIntPercent(FILE* stream, int32_t chunkEnd) {
    unsigned char bytes[2];
    const int32_t read = ReadIfWhole(stream, chunkEnd, bytes, sizeof bytes);
    if (read <= 0) return read;
    if (!loaderState.countingPass) {
        StoreFraction(static_cast<float>(static_cast<int16_t>(GetU16(bytes))) / 100.0f);
    }
    return 0;
}

// 0x0031: a float percentage.
int32_t ReadFloatPercent(FILE* stream, int32_t chunkEnd) {
    unsigned char bytes[4];
    const int32_t read = ReadIfWhole(stream, chunkEnd, bytes, sizeof bytes);
    if (read <= 0) return read;
    if (!loaderState.countingPass) StoreFraction(GetFloat(bytes) / 100.0f);
    return 0;
}

// 0x1201 (no payload): the solid background is shown; counts only in the editor chunk.
int32_t ReadUseBackground(FILE*, int32_t) {
    const LoaderState& s = loaderState;
    if (!s.countingPass && s.parentChunkId == kEditorChunk) s.scene->useBackground = 1;
    return 0;
}

// ---- Material properties ----------------------------------------------------------------

// 0xAFFF: a material chunk begins. Until its name opens a material, its chunks describe none.
int32_t BeginMaterial(FILE*, int32_t chunkEnd) {
    loaderState.currentMaterial = nullptr;
    loaderState.materialEnd = chunkEnd;
    return 0;
}

// 0xA081, 0xA083, 0xA085: two-sided, additive transparency and wire flags, with no payload.
int32_t ReadTwoSided(FILE*, int32_t) {
    return SetMaterialFlag(&Material::twoSided);
}

int32_t ReadAdditive(FILE*, int32_t) {
    return SetMaterialFlag(&Material::additive);
}

int32_t ReadWire(FILE*, int32_t) {
    return SetMaterialFlag(&Material::wire);
}

// 0xA087: the wire thickness, a float.
int32_t ReadWireSize(FILE* stream, int32_t chunkEnd) {
    unsigned char bytes[4];
    const int32_t read = ReadIfWhole(stream, chunkEnd, bytes, sizeof bytes);
    if (read <= 0) return read;
    Material* material = CurrentMaterial();
    if (material != nullptr) material->wireSize = GetFloat(bytes);
    return 0;
}

// 0xA100: the shading kind, a u16 stored as read.
int32_t ReadShading(FILE* stream, int32_t chunkEnd) {
    unsigned char bytes[2];
    const int32_t read = ReadIfWhole(stream, chunkEnd, bytes, sizeof bytes);
    if (read <= 0) return read;
    Material* material = CurrentMaterial();
    if (material != nullptr) material->shading = GetU16(bytes);
    return 0;
}

// ---- Maps -------------------------------------------------------------------------------

// 0xA200, 0xA210: the texture or opacity map of the current material is present; its
// parameters are its children.
int32_t ReadMap(FILE*, int32_t) {
    if (MaterialMap* map = MapOf(loaderState.chunkId)) map->present = 1;
    return 0;
}

// 0xA300: the map's file name, read like every name (at most 63 characters kept, read on to
// the NUL). Kept for the texture and opacity maps, dropped under any other chunk.
int32_t ReadMapName(FILE* stream, int32_t chunkEnd) {
    char name[64];
    ReadName(stream, chunkEnd, name);
    MaterialMap* map = ParentMap();
    if (map == nullptr) return 0;
    char* copy = ArenaCopyName(loaderState.scene->arena, name);
    if (copy == nullptr) {
        return LoadFail("out of memory for the map name %s", QuotedName(name).c_str());
    }
    map->fileName = copy;
    return 0;
}

// 0xA351: the tiling flags word.
int32_t ReadMapTiling(FILE* stream, int32_t chunkEnd) {
    unsigned char bytes[2];
    const int32_t read = ReadIfWhole(stream, chunkEnd, bytes, sizeof bytes);
    if (read <= 0) return read;
    if (MaterialMap* map = ParentMap()) map->tiling = GetU16(bytes);
    return 0;
}

// 0xA354, 0xA356, 0xA358, 0xA35A, 0xA35C: scale, offset and rotation, one float each.
int32_t ReadMapUScale(FILE* stream, int32_t chunkEnd) {
    return ReadMapFloat(stream, chunkEnd, &MaterialMap::uScale);
}

int32_t ReadMapVScale(FILE* stream, int32_t chunkEnd) {
    return ReadMapFloat(stream, chunkEnd, &MaterialMap::vScale);
}

int32_t ReadMapUOffset(FILE* stream, int32_t chunkEnd) {
    return ReadMapFloat(stream, chunkEnd, &MaterialMap::uOffset);
}

int32_t ReadMapVOffset(FILE* stream, int32_t chunkEnd) {
    return ReadMapFloat(stream, chunkEnd, &MaterialMap::vOffset);
}

int32_t ReadMapRotation(FILE* stream, int32_t chunkEnd) {
    return ReadMapFloat(stream, chunkEnd, &MaterialMap::rotation);
}
