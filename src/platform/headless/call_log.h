// The headless backend's calls as tests see them: a log of every Win32 and DirectDraw call
// with its arguments and result, and results chosen in advance for the DirectDraw calls
// (failures, DDERR_SURFACELOST, DDERR_WASSTILLDRAWING) or a pixel format other than 32 bits
// for locks. UseHeadlessBackend puts these calls in front of the emulation's.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/ddraw.h"

// The calls whose results can be chosen.
enum class HeadlessCall {
    DirectDrawCreate,
    SetCooperativeLevel,
    SetDisplayMode,
    CreateSurface,
    GetAttachedSurface,
    Lock,
    BltFast,
    Flip,
    Restore,
    Count
};

// The next calls of `call` return `results` in order, doing nothing when a result is not
// DD_OK; after them the call works normally again.
void HeadlessQueueResults(HeadlessCall call, std::initializer_list<HRESULT> results);
// Every later call of `call` returns `result` and does nothing.
void HeadlessFailAlways(HeadlessCall call, HRESULT result);

// The bit depth that Lock reports for work surfaces (32 unless changed).
void HeadlessSetPixelBits(DWORD bits);

// Call logging, off after a reset (it allocates, which a viewer run must not do per frame).
void HeadlessEnableLog(bool enable);
const std::vector<std::string>& HeadlessCallLog();
void HeadlessClearLog();

// Puts the logged calls in front of the emulation's (after SetPlatformBackend).
void UseHeadlessCalls();
// Clears the chosen results, the pixel format and the log, and turns logging off.
void ResetHeadlessCalls();
