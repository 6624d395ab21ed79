/* teko32 — driver library for the parallel-port colour CCD camera.
 *
 * The 19 entries a capture application calls. On 32-bit Windows they use the
 * stdcall convention (the callee removes the arguments) and are exported under
 * their decorated names (_InitTeko@4 ...); elsewhere they are plain C functions.
 * Every argument is 32 bits wide on the 32-bit build.
 */
#ifndef TEKO32_TEKO32_H
#define TEKO32_TEKO32_H

#include <stdint.h>

#if defined(_WIN32)
#define TEKO32_CALL __stdcall
#if defined(TEKO32_BUILDING_DLL)
#define TEKO32_API __declspec(dllexport)
#elif defined(TEKO32_STATIC)
#define TEKO32_API
#else
#define TEKO32_API __declspec(dllimport)
#endif
#else
#define TEKO32_CALL
#if defined(TEKO32_BUILDING_DLL)
#define TEKO32_API __attribute__((visibility("default")))
#else
#define TEKO32_API
#endif
#endif

/* No exception ever leaves an entry; C++ callers see that in the type. */
#ifdef __cplusplus
#define TEKO32_NOEXCEPT noexcept
#else
#define TEKO32_NOEXCEPT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Value InitTeko always returns. */
#define TEKO32_INIT_RESULT 0xCDA7563Eu

/* Connection lifecycle. `ports` is a list of parallel-port base addresses
 * ended by 0; at most the first four are probed. NULL is an empty list. */
TEKO32_API uint32_t TEKO32_CALL InitTeko(const uint16_t* ports) TEKO32_NOEXCEPT;
TEKO32_API int32_t TEKO32_CALL HaltTeko(int32_t unused) TEKO32_NOEXCEPT;

/* Image settings: they store values; the next capture writes the camera. */
TEKO32_API int32_t TEKO32_CALL SetShutterSpeed(int32_t value) TEKO32_NOEXCEPT;
TEKO32_API int32_t TEKO32_CALL GetShutterSpeed(void) TEKO32_NOEXCEPT;
TEKO32_API int32_t TEKO32_CALL SetBrightNess(int32_t brightness) TEKO32_NOEXCEPT;
TEKO32_API int32_t TEKO32_CALL SetShutterThreshold(int32_t value) TEKO32_NOEXCEPT;
TEKO32_API int32_t TEKO32_CALL SetRedScale(int32_t value) TEKO32_NOEXCEPT;
TEKO32_API int32_t TEKO32_CALL SetBlueScale(int32_t value) TEKO32_NOEXCEPT;
TEKO32_API int32_t TEKO32_CALL EnableAutoShutterSpeed(int32_t value) TEKO32_NOEXCEPT;
TEKO32_API int32_t TEKO32_CALL GetCCDType(void) TEKO32_NOEXCEPT;
TEKO32_API int32_t TEKO32_CALL ForceCCDType(int32_t flag, int32_t type) TEKO32_NOEXCEPT;
/* Gamma in tenths, 6 to 59 (compared unsigned); 1 when the table was rebuilt. */
TEKO32_API int32_t TEKO32_CALL SetGamma(int32_t gamma) TEKO32_NOEXCEPT;

/* Capture one frame into `buffer`, in the size and format of the last
 * successful SetFrameSize. 1 on success, 0 when refused or a camera write failed. */
TEKO32_API int32_t TEKO32_CALL CaptureFrameWait(void* buffer) TEKO32_NOEXCEPT;

/* Capture thread: a non-null buffer starts it, a null buffer stops it. The
 * thread captures whenever the 16-bit word at `flagWord` is 0, then sets it to 1. */
TEKO32_API int32_t TEKO32_CALL SetupCaptureIsr(int32_t unused, void* buffer, uint16_t* flagWord,
                                               int32_t value) TEKO32_NOEXCEPT;
TEKO32_API int32_t TEKO32_CALL EnableIsr(int32_t value) TEKO32_NOEXCEPT;

/* Picture format. */
TEKO32_API void TEKO32_CALL InitFilterStack(int32_t zoom, int32_t allLines,
                                            int32_t sharpen) TEKO32_NOEXCEPT;
TEKO32_API int32_t TEKO32_CALL SetFrameSize(int32_t width, int32_t height,
                                            int32_t depth) TEKO32_NOEXCEPT;
TEKO32_API int32_t TEKO32_CALL EnableZoom(int32_t enable) TEKO32_NOEXCEPT;
/* 1 selects packed YUV 4:2:2 (UYVY) output at the next SetFrameSize. */
TEKO32_API int32_t TEKO32_CALL SetRealizedFilter(int32_t filter) TEKO32_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* TEKO32_TEKO32_H */
