/* A minimal 32-bit Windows client of TEKO32.DLL, in C: opens the camera on
 * port 0x378, captures one 640x480 24-bit frame with the load settings and
 * writes it as a BMP file:
 *   capture-bmp.exe frame.bmp
 * The entries come through the import library, except InitTeko and HaltTeko,
 * which are looked up by their decorated names as a legacy application that
 * loads the DLL at run time does. The port is the virtual camera (see
 * virtual_camera_port.cpp); a real application leaves TekoSetPortIo alone. */
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "teko32/teko32.h"
#include "teko32/teko32_ext.h"

/* The virtual camera's port table (virtual_camera_port.cpp). */
const TekoPortIo* ExampleVirtualCameraPort(void);

enum { kWidth = 640, kHeight = 480, kDepth = 24 };

typedef uint32_t(__stdcall* InitTekoFn)(const uint16_t*);
typedef int32_t(__stdcall* HaltTekoFn)(int32_t);

static void PutLe(unsigned char* out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out[i] = (unsigned char)(value >> (8 * i));
}

/* The library's 24-bit picture is bottom-up BGR with rows padded to 4 bytes:
 * exactly a BMP's pixel array. */
static int WriteBmp(const char* path, const unsigned char* pixels, uint32_t bytes) {
    unsigned char header[54] = {'B', 'M'};
    PutLe(header + 2, 54 + bytes, 4);
    PutLe(header + 10, 54, 4);
    PutLe(header + 14, 40, 4);
    PutLe(header + 18, kWidth, 4);
    PutLe(header + 22, kHeight, 4);
    PutLe(header + 26, 1, 2);
    PutLe(header + 28, 24, 2);
    PutLe(header + 34, bytes, 4);
    PutLe(header + 38, 2835, 4);
    PutLe(header + 42, 2835, 4);
    FILE* file = fopen(path, "wb");
    if (file == NULL) return 0;
    const int ok = fwrite(header, 1, sizeof header, file) == sizeof header &&
                   fwrite(pixels, 1, bytes, file) == bytes;
    return fclose(file) == 0 && ok;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        printf("usage: %s <output.bmp>\n", argv[0]);
        return 2;
    }
    HMODULE dll = LoadLibraryA("TEKO32.DLL");
    InitTekoFn init = dll ? (InitTekoFn)(void (*)(void))GetProcAddress(dll, "_InitTeko@4") : NULL;
    HaltTekoFn halt = dll ? (HaltTekoFn)(void (*)(void))GetProcAddress(dll, "_HaltTeko@4") : NULL;
    if (init == NULL || halt == NULL) {
        printf("TEKO32.DLL or its entries _InitTeko@4, _HaltTeko@4 not found\n");
        return 1;
    }
    if (TekoSetPortIo(ExampleVirtualCameraPort()) != 1) return 1;

    const uint16_t ports[] = {0x378, 0};
    init(ports);
    SetRealizedFilter(0);
    if (SetFrameSize(kWidth, kHeight, kDepth) != 1) {
        printf("no camera, or the size was refused\n");
        halt(0);
        return 1;
    }
    const uint32_t bytes = ((kWidth * 3 + 3) & ~3u) * kHeight;
    unsigned char* pixels = (unsigned char*)calloc(bytes, 1);
    const int captured = pixels != NULL && CaptureFrameWait(pixels) == 1;
    halt(0);
    TekoSetPortIo(NULL);
    const int written = captured && WriteBmp(argv[1], pixels, bytes);
    free(pixels);
    FreeLibrary(dll);
    if (!written) {
        printf("capture or write failed\n");
        return 1;
    }
    printf("wrote %s: %dx%d, 24-bit\n", argv[1], kWidth, kHeight);
    return 0;
}
