// The library's entries as a table of function pointers, so that the same
// picture cases run against the linked library (Linux reference) and against
// TEKO32.DLL loaded with LoadLibrary (Windows).
#pragma once

#include "teko32/teko32.h"
#include "teko32/teko32_ext.h"

namespace teko::wintest {

// Every entry with its argument bytes on 32-bit Windows (its decorated name).
// clang-format off
#define TEKO_WINTEST_ENTRIES(X)                                                        \
    X(InitTeko, 4) X(HaltTeko, 4)                                                      \
    X(SetShutterSpeed, 4) X(GetShutterSpeed, 0) X(SetBrightNess, 4)                    \
    X(SetShutterThreshold, 4) X(SetRedScale, 4) X(SetBlueScale, 4)                     \
    X(EnableAutoShutterSpeed, 4) X(GetCCDType, 0) X(ForceCCDType, 8) X(SetGamma, 4)    \
    X(CaptureFrameWait, 4) X(SetupCaptureIsr, 16) X(EnableIsr, 4)                      \
    X(InitFilterStack, 12) X(SetFrameSize, 12) X(EnableZoom, 4) X(SetRealizedFilter, 4) \
    X(TekoSetPortIo, 4) X(TekoSetClock, 8) X(TekoSetMessageHandler, 8)                 \
    X(TekoSetAllocator, 12) X(TekoGetCaptureStatus, 4)
// clang-format on

struct Entries {
#define TEKO_WINTEST_FIELD(name, bytes) decltype(&::name) name = nullptr;
    TEKO_WINTEST_ENTRIES(TEKO_WINTEST_FIELD)
#undef TEKO_WINTEST_FIELD
};

}  // namespace teko::wintest
