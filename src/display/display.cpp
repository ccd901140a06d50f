// The display module over the DirectDraw calls of platform/ddraw.h.
#include "display/display.h"

#include <cstring>

DisplayContext displayContext = {};

namespace {

// All three capability words carry DDSCAPS_HWCODEC besides the bits naming the role.
constexpr DWORD kPrimaryCaps =
    DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_HWCODEC;
constexpr DWORD kBackBufferCaps = DDSCAPS_BACKBUFFER | DDSCAPS_HWCODEC;
constexpr DWORD kWorkSurfaceCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY | DDSCAPS_HWCODEC;
constexpr DWORD kCooperativeLevel = DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT;

// The primary surface with its back buffer, then the two work surfaces of displayWidth x
// displayHeight. Stops at the first that fails.
void CreateSurfaces(DisplayContext& d) {
    // The primary surface with one back buffer.
    std::memset(&d.surfaceDesc, 0, sizeof d.surfaceDesc);
    d.surfaceDesc.dwSize = sizeof(DDSURFACEDESC);
    d.surfaceDesc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    d.surfaceDesc.dwBackBufferCount = 1;
    d.surfaceDesc.ddsCaps.dwCaps = kPrimaryCaps;
    if (d.directDraw->CreateSurface(&d.surfaceDesc, &d.primarySurface, nullptr) != DD_OK) return;

    DDSCAPS backCaps = {kBackBufferCaps};
    if (d.primarySurface->GetAttachedSurface(&backCaps, &d.backBuffer) != DD_OK) return;

    // The work surfaces reuse the record without zeroing it; the back-buffer count stays
    // behind, outside the flags.
    d.surfaceDesc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    d.surfaceDesc.dwHeight = static_cast<DWORD>(d.displayHeight);
    d.surfaceDesc.dwWidth = static_cast<DWORD>(d.displayWidth);
    d.surfaceDesc.ddsCaps.dwCaps = kWorkSurfaceCaps;
    if (d.directDraw->CreateSurface(&d.surfaceDesc, &d.workSurfaceA, nullptr) != DD_OK) return;
    d.directDraw->CreateSurface(&d.surfaceDesc, &d.workSurfaceB, nullptr);
}

// The frame's size, the DirectDraw object and exclusive access; false at the first failure.
bool TakeDisplay(DisplayContext& d, HWND window, int32_t width, int32_t height) {
    d.displayWidth = width;
    d.displayHeight = height;
    if (DirectDrawCreate(nullptr, &d.directDraw, nullptr) != DD_OK) return false;
    return d.directDraw->SetCooperativeLevel(window, kCooperativeLevel) == DD_OK;
}

// Releases the surfaces, the primary first; the DirectDraw object stays.
void ReleaseSurfaces(DisplayContext& d) {
    if (d.primarySurface) {
        d.primarySurface->Release();
        d.primarySurface = nullptr;
    }
    if (d.workSurfaceA) {
        d.workSurfaceA->Release();
        d.workSurfaceA = nullptr;
    }
    if (d.workSurfaceB) {
        d.workSurfaceB->Release();
        d.workSurfaceB = nullptr;
    }
}

}  // namespace

void InitDisplay(HWND window, int32_t width, int32_t height) {
    DisplayContext& d = displayContext;
    if (!TakeDisplay(d, window, width, height)) return;
    if (d.directDraw->SetDisplayMode(static_cast<DWORD>(d.displayWidth),
                                     static_cast<DWORD>(d.displayHeight), 32) != DD_OK) {
        return;
    }
    CreateSurfaces(d);
}

void InitDisplayKeepingMode(HWND window, int32_t width, int32_t height) {
    DisplayContext& d = displayContext;
    if (!TakeDisplay(d, window, width, height)) return;
    CreateSurfaces(d);
}

void ResizeDisplay(int32_t width, int32_t height) {
    DisplayContext& d = displayContext;
    if (!d.directDraw) return;
    ReleaseSurfaces(d);
    d.backBuffer = nullptr;
    d.displayWidth = width;
    d.displayHeight = height;
    d.useWorkSurfaceA = 0;
    CreateSurfaces(d);
}

int32_t LockFrame(uint32_t** pixels) {
    DisplayContext& d = displayContext;
    // After a partial InitDisplay there is nothing to draw into or present onto.
    if (!d.primarySurface || !d.backBuffer || !d.workSurfaceA || !d.workSurfaceB) return 0;

    d.surfaceDesc.dwSize = sizeof(DDSURFACEDESC);
    LPDIRECTDRAWSURFACE surface = d.useWorkSurfaceA ? d.workSurfaceA : d.workSurfaceB;
    if (surface->Lock(nullptr, &d.surfaceDesc, 0, nullptr) != DD_OK) return 0;
    if (d.surfaceDesc.ddpfPixelFormat.dwRGBBitCount != 32) {
        surface->Unlock(nullptr);
        return 0;
    }
    *pixels = static_cast<uint32_t*>(d.surfaceDesc.lpSurface);
    return 1;
}

void PresentFrame() {
    DisplayContext& d = displayContext;
    RECT source = {0, 0, d.displayWidth, d.displayHeight};

    LPDIRECTDRAWSURFACE frame;
    if (d.useWorkSurfaceA) {
        d.useWorkSurfaceA = 0;
        frame = d.workSurfaceA;
    } else {
        d.useWorkSurfaceA = 1;
        frame = d.workSurfaceB;
    }
    frame->Unlock(nullptr);

    // Busy hardware is waited for by retrying at once; a lost surface gets one restore and
    // the copy is not repeated: the next tick draws a whole new frame anyway.
    for (;;) {
        HRESULT result = d.backBuffer->BltFast(0, 0, frame, &source, DDBLTFAST_NOCOLORKEY);
        if (result == DDERR_WASSTILLDRAWING) continue;
        if (result == DDERR_SURFACELOST) RestoreSurfaces();
        break;
    }
    for (;;) {
        HRESULT result = d.primarySurface->Flip(nullptr, 0);
        if (result == DDERR_WASSTILLDRAWING) continue;
        if (result == DDERR_SURFACELOST) RestoreSurfaces();
        break;
    }
}

HRESULT RestoreSurfaces() {
    DisplayContext& d = displayContext;
    HRESULT result = d.primarySurface->Restore();
    if (result != DD_OK) return result;
    result = d.workSurfaceA->Restore();
    if (result != DD_OK) return result;
    return d.workSurfaceB->Restore();
}

void ShutdownDisplay() {
    DisplayContext& d = displayContext;
    if (!d.directDraw) return;
    ReleaseSurfaces(d);
    d.directDraw->Release();
    d.directDraw = nullptr;
}

void ResetDisplayContext() {
    displayContext = DisplayContext{};
}
