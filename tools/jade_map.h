// The bundled scene's texture map, jade.png: green stone with paler veins, 256 x 256 pixels,
// seamless in both directions (the knot repeats it along its length). Integer arithmetic only,
// so every compiler makes the same pixels.
#pragma once

#include <cstdint>
#include <vector>

namespace jade_map {

inline constexpr int kSide = 256;

// A value from 0 to 255 for lattice point (x, y).
inline uint32_t Lattice(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 0x8DA6B343u ^ y * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    h ^= h >> 15;
    return h & 0xFF;
}

// Value noise over `cells` x `cells` lattice cells across the map, wrapping at its edges:
// 0 to 255 * 256, smoothly interpolated.
inline uint32_t Noise(int x, int y, int cells, uint32_t seed) {
    const int size = kSide / cells;  // pixels per cell
    const int cx = x / size, cy = y / size;
    const auto fade = [&](int offset) {  // smoothstep of offset / size, in 1/256
        const int t = offset * 256 / size;
        return static_cast<uint32_t>(t * t * (3 * 256 - 2 * t) / (256 * 256));
    };
    const uint32_t fx = fade(x % size), fy = fade(y % size);
    const auto at = [&](int ix, int iy) {
        return Lattice(static_cast<uint32_t>(ix % cells), static_cast<uint32_t>(iy % cells), seed);
    };
    const uint32_t top = at(cx, cy) * (256 - fx) + at(cx + 1, cy) * fx;
    const uint32_t bottom = at(cx, cy + 1) * (256 - fx) + at(cx + 1, cy + 1) * fx;
    return (top * (256 - fy) + bottom * fy) >> 8;
}

// Octaves of noise from `coarsest` cells across to `finest`, each half as strong as the one
// before: 0 to 255.
inline uint32_t Turbulence(int x, int y, int coarsest, int finest, uint32_t seed) {
    uint32_t sum = 0, weights = 0, weight = 16;
    for (int cells = coarsest; cells <= finest; cells *= 2, weight /= 2, ++seed) {
        sum += weight * Noise(x, y, cells, seed);
        weights += weight;
    }
    return sum / (weights * 256);
}

// RGBA, rows top first.
inline std::vector<uint8_t> Pixels() {
    std::vector<uint8_t> rgba;
    rgba.reserve(kSide * kSide * 4);
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            const uint32_t body = Turbulence(x, y, 4, 64, 1);  // the stone's shade, grainy
            // Veins where a smooth second field crosses its middle value: 255 on the line,
            // fading to 0 a few steps of the field away from it.
            const uint32_t field = Turbulence(x, y, 2, 16, 11);
            const uint32_t distance = field > 128 ? field - 128 : 128 - field;
            const uint32_t vein = distance < 6 ? (6 - distance) * (6 - distance) * 255 / 36 : 0;
            // Dark to light green by the shade, then toward pale green-white in the veins.
            uint32_t r = 20 + body * 100 / 255, g = 95 + body * 110 / 255, b = 60 + body * 80 / 255;
            r = (r * (255 - vein) + 185 * vein) / 255;
            g = (g * (255 - vein) + 235 * vein) / 255;
            b = (b * (255 - vein) + 200 * vein) / 255;
            rgba.insert(rgba.end(), {static_cast<uint8_t>(r), static_cast<uint8_t>(g),
                                     static_cast<uint8_t>(b), 255});
        }
    }
    return rgba;
}

}  // namespace jade_map
