// The argument rules of the emulated DirectDraw calls (emulation.cpp), and how a locked
// surface is described (also in a chosen pixel format, headless/call_log.cpp).
#pragma once

#include <cstdint>

#include "platform/ddraw.h"

inline constexpr DWORD kLargestSurfaceSide = 16384;

// SetCooperativeLevel: full screen only together with exclusive access.
inline bool CooperativeFlagsValid(DWORD flags) {
    return (flags & DDSCL_FULLSCREEN) == 0 || (flags & DDSCL_EXCLUSIVE) != 0;
}

// SetDisplayMode: a size both sides of which fit a surface, at 32 bits per pixel.
inline bool DisplayModeValid(DWORD width, DWORD height, DWORD bpp) {
    return width != 0 && height != 0 && width <= kLargestSurfaceSide &&
           height <= kLargestSurfaceSide && bpp == 32;
}

// CreateSurface: a request record of the right size that names its capabilities, and no
// aggregation.
inline bool SurfaceRequestValid(const DDSURFACEDESC* desc, const IUnknown* outer) {
    return desc != nullptr && outer == nullptr && desc->dwSize == sizeof(DDSURFACEDESC) &&
           (desc->dwFlags & DDSD_CAPS) != 0;
}

// A flipping primary: a complex surface with exactly one back buffer.
inline bool FlippingChainRequestValid(const DDSURFACEDESC& desc) {
    return (desc.dwFlags & DDSD_BACKBUFFERCOUNT) != 0 && desc.dwBackBufferCount == 1 &&
           (desc.ddsCaps.dwCaps & DDSCAPS_COMPLEX) != 0;
}

// An off-screen plain surface: width and height given, each from 1 to the largest side.
inline bool OffscreenRequestValid(const DDSURFACEDESC& desc) {
    const DWORD needed = DDSD_WIDTH | DDSD_HEIGHT;
    return (desc.dwFlags & needed) == needed && desc.dwWidth != 0 && desc.dwHeight != 0 &&
           desc.dwWidth <= kLargestSurfaceSide && desc.dwHeight <= kLargestSurfaceSide;
}

// Lock: fills `desc` for a surface of width x height at `pixels`, rows exactly one width
// apart: 32 bits 0x00RRGGBB, or 16 bits 5-6-5.
inline void DescribeLockedSurface(DDSURFACEDESC& desc, int32_t width, int32_t height,
                                  DWORD bitsPerPixel, void* pixels, DWORD caps) {
    const bool wide = bitsPerPixel == 32;
    desc.dwFlags =
        DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_PIXELFORMAT | DDSD_LPSURFACE;
    desc.dwWidth = static_cast<DWORD>(width);
    desc.dwHeight = static_cast<DWORD>(height);
    desc.lPitch = width * static_cast<LONG>(bitsPerPixel / 8);
    desc.lpSurface = pixels;
    desc.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
    desc.ddpfPixelFormat.dwFlags = DDPF_RGB;
    desc.ddpfPixelFormat.dwRGBBitCount = bitsPerPixel;
    desc.ddpfPixelFormat.dwRBitMask = wide ? 0x00FF0000u : 0xF800u;
    desc.ddpfPixelFormat.dwGBitMask = wide ? 0x0000FF00u : 0x07E0u;
    desc.ddpfPixelFormat.dwBBitMask = wide ? 0x000000FFu : 0x001Fu;
    desc.ddpfPixelFormat.dwRGBAlphaBitMask = 0;
    desc.ddsCaps.dwCaps = caps;
}

// BltFast: the rectangle `r` is a non-empty part of a width x height source and, placed at
// (x, y), fits inside a destWidth x destHeight destination.
inline bool BltRectValid(const RECT& r, int32_t width, int32_t height, DWORD x, DWORD y,
                         int32_t destWidth, int32_t destHeight) {
    const bool inSource = r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom &&
                          r.right <= width && r.bottom <= height;
    const bool inDest = x <= static_cast<DWORD>(destWidth) && y <= static_cast<DWORD>(destHeight) &&
                        r.right - r.left <= destWidth - static_cast<LONG>(x) &&
                        r.bottom - r.top <= destHeight - static_cast<LONG>(y);
    return inSource && inDest;
}
