/* teko32 extension entries: replace, at run time, what the operating system
 * provides to the library (port access, clock, message display, memory).
 * Used by test harnesses, the virtual camera and applications that bring
 * their own port driver. */
#ifndef TEKO32_TEKO32_EXT_H
#define TEKO32_TEKO32_EXT_H

#include <stddef.h>
#include <stdint.h>

#include "teko32.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One call per port access: byte reads and writes of any register, the 16-
 * and 32-bit reads of the EPP data register, the repeated 32-bit EPP read,
 * and interrupt masking around each frame line (1 = mask, 0 = unmask). */
typedef struct TekoPortIo {
    void* context;
    uint8_t(TEKO32_CALL* read8)(void* context, uint16_t port);
    void(TEKO32_CALL* write8)(void* context, uint16_t port, uint8_t value);
    uint16_t(TEKO32_CALL* read16)(void* context, uint16_t port);
    uint32_t(TEKO32_CALL* read32)(void* context, uint16_t port);
    void(TEKO32_CALL* read32Repeat)(void* context, uint16_t port, uint32_t* dst, uint32_t count);
    void(TEKO32_CALL* maskInterrupts)(void* context, int masked);
} TekoPortIo;

/* Copies *io; NULL restores the platform default. Returns 1, or 0 for an
 * incomplete table (any function pointer null). */
TEKO32_API int TEKO32_CALL TekoSetPortIo(const TekoPortIo* io) TEKO32_NOEXCEPT;
/* Millisecond clock; NULL restores the platform clock. Returns 1. */
TEKO32_API int TEKO32_CALL TekoSetClock(uint32_t(TEKO32_CALL* nowMs)(void* context),
                                        void* context) TEKO32_NOEXCEPT;
/* Where failure messages go (caption "NOTE"); NULL restores the default. Returns 1. */
TEKO32_API int TEKO32_CALL TekoSetMessageHandler(void(TEKO32_CALL* show)(void* context,
                                                                         const char* text,
                                                                         const char* caption),
                                                 void* context) TEKO32_NOEXCEPT;
/* Zero-filled allocation of buffers and filters; NULL restores the default.
 * Returns 1, or 0 when only one of the two functions is given. */
TEKO32_API int TEKO32_CALL TekoSetAllocator(void*(TEKO32_CALL* allocZeroed)(void* context,
                                                                            size_t bytes),
                                            void(TEKO32_CALL* release)(void* context, void* block),
                                            void* context) TEKO32_NOEXCEPT;

/* What the captures since InitTeko did. CaptureFrameWait returns 1 also for a
 * frame whose transfer ended early (a line that never came leaves the rest of
 * the raw frame as it was); this tells such frames apart. */
typedef struct TekoCaptureStatus {
    uint32_t size;             /* set by the caller to sizeof(TekoCaptureStatus) */
    uint32_t frames;           /* captures that returned 1 since InitTeko */
    uint32_t incompleteFrames; /* of those, frames whose transfer ended early */
    uint32_t linesExpected;    /* last capture: raw lines it should have read */
    uint32_t linesRead;        /* last capture: raw lines that arrived complete */
    uint32_t failures;         /* captures that returned 0 after a failed register write */
    uint32_t lastFrameMs;      /* last capture: milliseconds from the call to its return */
    char lastMessage[64];      /* the last failure text shown, "" if none */
} TekoCaptureStatus;

/* Fills *status. Returns 1, or 0 for NULL or a size other than
 * sizeof(TekoCaptureStatus). Callable from any thread, also while the capture
 * thread runs: the six counters are read together as one consistent set, taken
 * between two captures; lastMessage is read whole on its own. */
TEKO32_API int TEKO32_CALL TekoGetCaptureStatus(TekoCaptureStatus* status) TEKO32_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* TEKO32_TEKO32_EXT_H */
