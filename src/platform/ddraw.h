// The part of the DirectDraw (first interface versions) API that the display module calls.
//
// On Windows this is the real <ddraw.h>. Elsewhere the same names, record layouts, values
// and method signatures are declared here; DirectDrawCreate is forwarded by platform.cpp to
// the backend chosen at run time, whose objects implement the two interfaces.
#pragma once

#ifdef _WIN32
#include <ddraw.h>
#else

#include <cstdint>

#include "platform/win32.h"

#define STDMETHODCALLTYPE

using HRESULT = LONG;
using ULONG = uint32_t;

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};

constexpr HRESULT MakeDirectDrawResult(uint32_t code) {
    return static_cast<HRESULT>(0x88760000u | code);
}

constexpr HRESULT DD_OK = 0;
constexpr HRESULT DDERR_GENERIC = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT DDERR_INVALIDPARAMS = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT DDERR_UNSUPPORTED = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT DDERR_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT DDERR_INVALIDCAPS = MakeDirectDrawResult(100);
constexpr HRESULT DDERR_INVALIDMODE = MakeDirectDrawResult(140);
constexpr HRESULT DDERR_INVALIDOBJECT = MakeDirectDrawResult(145);
constexpr HRESULT DDERR_INVALIDRECT = MakeDirectDrawResult(150);
constexpr HRESULT DDERR_NOEXCLUSIVEMODE = MakeDirectDrawResult(225);
constexpr HRESULT DDERR_NOTFOUND = MakeDirectDrawResult(255);
constexpr HRESULT DDERR_SURFACEBUSY = MakeDirectDrawResult(430);
constexpr HRESULT DDERR_SURFACELOST = MakeDirectDrawResult(450);
constexpr HRESULT DDERR_WASSTILLDRAWING = MakeDirectDrawResult(540);
constexpr HRESULT DDERR_NOTLOCKED = MakeDirectDrawResult(584);
constexpr HRESULT DDERR_NOTFLIPPABLE = MakeDirectDrawResult(582);
constexpr HRESULT DDERR_NODIRECTDRAWHW = MakeDirectDrawResult(615);

// SetCooperativeLevel flags.
constexpr DWORD DDSCL_FULLSCREEN = 0x00000001;
constexpr DWORD DDSCL_ALLOWREBOOT = 0x00000002;
constexpr DWORD DDSCL_NORMAL = 0x00000008;
constexpr DWORD DDSCL_EXCLUSIVE = 0x00000010;

// DDSURFACEDESC.dwFlags: which fields are valid.
constexpr DWORD DDSD_CAPS = 0x00000001;
constexpr DWORD DDSD_HEIGHT = 0x00000002;
constexpr DWORD DDSD_WIDTH = 0x00000004;
constexpr DWORD DDSD_PITCH = 0x00000008;
constexpr DWORD DDSD_BACKBUFFERCOUNT = 0x00000020;
constexpr DWORD DDSD_LPSURFACE = 0x00000800;
constexpr DWORD DDSD_PIXELFORMAT = 0x00001000;

// Surface capabilities.
constexpr DWORD DDSCAPS_BACKBUFFER = 0x00000004;
constexpr DWORD DDSCAPS_COMPLEX = 0x00000008;
constexpr DWORD DDSCAPS_FLIP = 0x00000010;
constexpr DWORD DDSCAPS_FRONTBUFFER = 0x00000020;
constexpr DWORD DDSCAPS_OFFSCREENPLAIN = 0x00000040;
constexpr DWORD DDSCAPS_PRIMARYSURFACE = 0x00000200;
constexpr DWORD DDSCAPS_SYSTEMMEMORY = 0x00000800;
constexpr DWORD DDSCAPS_VIDEOMEMORY = 0x00004000;
constexpr DWORD DDSCAPS_HWCODEC = 0x00100000;

// Pixel format flags.
constexpr DWORD DDPF_RGB = 0x00000040;

// BltFast, Flip and Lock flags.
constexpr DWORD DDBLTFAST_NOCOLORKEY = 0x00000000;
constexpr DWORD DDBLTFAST_WAIT = 0x00000010;
constexpr DWORD DDFLIP_WAIT = 0x00000001;
constexpr DWORD DDLOCK_SURFACEMEMORYPTR = 0x00000000;
constexpr DWORD DDLOCK_WAIT = 0x00000001;

struct DDCOLORKEY {
    DWORD dwColorSpaceLowValue;
    DWORD dwColorSpaceHighValue;
};

struct DDSCAPS {
    DWORD dwCaps;
};
using LPDDSCAPS = DDSCAPS*;

struct DDPIXELFORMAT {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwFourCC;
    union {
        DWORD dwRGBBitCount;
        DWORD dwYUVBitCount;
        DWORD dwZBufferBitDepth;
        DWORD dwAlphaBitDepth;
    };
    union {
        DWORD dwRBitMask;
        DWORD dwYBitMask;
    };
    union {
        DWORD dwGBitMask;
        DWORD dwUBitMask;
    };
    union {
        DWORD dwBBitMask;
        DWORD dwVBitMask;
    };
    union {
        DWORD dwRGBAlphaBitMask;
        DWORD dwYUVAlphaBitMask;
    };
};

// The description record of the first interface version, fields in the API's order.
// 108 bytes where pointers are 4 bytes wide; larger in a 64-bit build.
struct DDSURFACEDESC {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwHeight;
    DWORD dwWidth;
    union {
        LONG lPitch;
        DWORD dwLinearSize;
    };
    DWORD dwBackBufferCount;
    union {
        DWORD dwMipMapCount;
        DWORD dwZBufferBitDepth;
        DWORD dwRefreshRate;
    };
    DWORD dwAlphaBitDepth;
    DWORD dwReserved;
    LPVOID lpSurface;
    DDCOLORKEY ddckCKDestOverlay;
    DDCOLORKEY ddckCKDestBlt;
    DDCOLORKEY ddckCKSrcOverlay;
    DDCOLORKEY ddckCKSrcBlt;
    DDPIXELFORMAT ddpfPixelFormat;
    DDSCAPS ddsCaps;
};
using LPDDSURFACEDESC = DDSURFACEDESC*;

// COM base: only reference release is used. Objects are destroyed through Release,
// never through delete, hence the protected non-virtual destructors.
struct IUnknown {
    virtual ULONG STDMETHODCALLTYPE Release() = 0;

protected:
    ~IUnknown() = default;
};

struct IDirectDrawSurface;
using LPDIRECTDRAWSURFACE = IDirectDrawSurface*;

struct IDirectDraw : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateSurface(LPDDSURFACEDESC lpDDSurfaceDesc,
                                                    LPDIRECTDRAWSURFACE* lplpDDSurface,
                                                    IUnknown* pUnkOuter) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND hWnd, DWORD dwFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDisplayMode(DWORD dwWidth, DWORD dwHeight,
                                                     DWORD dwBpp) = 0;

protected:
    ~IDirectDraw() = default;
};
using LPDIRECTDRAW = IDirectDraw*;

struct IDirectDrawSurface : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE BltFast(DWORD dwX, DWORD dwY, LPDIRECTDRAWSURFACE lpSrc,
                                              LPRECT lpSrcRect, DWORD dwTrans) = 0;
    virtual HRESULT STDMETHODCALLTYPE Flip(LPDIRECTDRAWSURFACE lpTarget, DWORD dwFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAttachedSurface(LPDDSCAPS lpDDSCaps,
                                                         LPDIRECTDRAWSURFACE* lplpDDAttached) = 0;
    virtual HRESULT STDMETHODCALLTYPE Lock(LPRECT lpDestRect, LPDDSURFACEDESC lpDDSurfaceDesc,
                                           DWORD dwFlags, HANDLE hEvent) = 0;
    virtual HRESULT STDMETHODCALLTYPE Restore() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unlock(LPVOID lpSurfaceData) = 0;

protected:
    ~IDirectDrawSurface() = default;
};

HRESULT WINAPI DirectDrawCreate(GUID* lpGUID, LPDIRECTDRAW* lplpDD, IUnknown* pUnkOuter);

#endif
