/* Calls every entry through the import library, the way a client does.
 * Never run with arguments: the export check reads which names it imports. */
#include <cstddef>

#include "teko32/teko32.h"
#include "teko32/teko32_ext.h"

int main(int argc, char** argv) {
    (void)argv;
    if (argc < 100) return 0;
    InitTeko(nullptr);
    HaltTeko(0);
    SetShutterSpeed(0);
    GetShutterSpeed();
    SetBrightNess(0);
    SetShutterThreshold(0);
    SetRedScale(0);
    SetBlueScale(0);
    EnableAutoShutterSpeed(0);
    GetCCDType();
    ForceCCDType(0, 0);
    SetGamma(0);
    CaptureFrameWait(nullptr);
    SetupCaptureIsr(0, nullptr, nullptr, 0);
    EnableIsr(0);
    InitFilterStack(0, 0, 0);
    SetFrameSize(0, 0, 0);
    EnableZoom(0);
    SetRealizedFilter(0);
    TekoSetPortIo(nullptr);
    TekoSetClock(nullptr, nullptr);
    TekoSetMessageHandler(nullptr, nullptr);
    TekoSetAllocator(nullptr, nullptr, nullptr);
    TekoGetCaptureStatus(nullptr);
    return 1;
}
