// One way to make a TekoPortIo from an object: the table's functions forward
// to the object's members of the same names.
#pragma once

#include <cstdint>

#include "teko32/teko32_ext.h"

namespace teko::testing {

// T has Read8, Write8, Read16, Read32, Read32Repeat and MaskInterrupts taking
// the table's arguments after the context.
template <typename T>
struct PortIoOf {
    static T& Self(void* context) { return *static_cast<T*>(context); }
    static uint8_t TEKO32_CALL Read8(void* c, uint16_t port) { return Self(c).Read8(port); }
    static void TEKO32_CALL Write8(void* c, uint16_t port, uint8_t value) {
        Self(c).Write8(port, value);
    }
    static uint16_t TEKO32_CALL Read16(void* c, uint16_t port) { return Self(c).Read16(port); }
    static uint32_t TEKO32_CALL Read32(void* c, uint16_t port) { return Self(c).Read32(port); }
    static void TEKO32_CALL Read32Repeat(void* c, uint16_t port, uint32_t* dst, uint32_t count) {
        Self(c).Read32Repeat(port, dst, count);
    }
    static void TEKO32_CALL MaskInterrupts(void* c, int masked) { Self(c).MaskInterrupts(masked); }
};

template <typename T>
TekoPortIo MakePortIo(T& object) {
    using Io = PortIoOf<T>;
    return TekoPortIo{&object,    Io::Read8,        Io::Write8,        Io::Read16,
                      Io::Read32, Io::Read32Repeat, Io::MaskInterrupts};
}

}  // namespace teko::testing
