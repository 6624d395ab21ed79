// One parallel port reached through its Linux parport device (/dev/parportN).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace teko::platform {

class PpdevPort {
  public:
    // Opens and claims `device`. Nullptr, with the reason in *whyNot, on failure.
    static std::unique_ptr<PpdevPort> Open(const std::string& device, std::string* whyNot);
    ~PpdevPort();  // releases the port and closes the device
    PpdevPort(const PpdevPort&) = delete;
    PpdevPort& operator=(const PpdevPort&) = delete;

    // Registers by their offset from the port's base.
    uint8_t Read8(uint16_t offset);
    void Write8(uint16_t offset, uint8_t value);
    // EPP data reads of 2, 4 and 4 x count bytes, the first byte lowest.
    uint16_t Read16();
    uint32_t Read32();
    void Read32Repeat(uint32_t* dst, uint32_t count);

  private:
    explicit PpdevPort(int fd, bool hasEpp);
    bool EppRead(uint8_t* bytes, std::size_t count);

    int fd_;
    bool hasEpp_;  // the port does EPP in hardware
    bool eppMode_ = false;
    uint8_t control_ = 0;  // last control value written, with its direction bit
};

}  // namespace teko::platform
