// The defaults each operating system gives the generic dispatch in
// services.cpp and port_io.cpp. One implementation per platform:
// posix_services.cpp (with posix_filter_log.cpp) / windows_services.cpp for
// the services, and
// linux_port.cpp / windows_port.cpp / generic_port.cpp for the port.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "teko32/teko32_ext.h"

namespace teko::platform::os {

uint32_t TEKO32_CALL ClockMs(void* context);
void TEKO32_CALL ShowMessage(void* context, const char* text, const char* caption);
void* TEKO32_CALL AllocZeroed(void* context, size_t bytes);
void TEKO32_CALL Release(void* context, void* block);
// Appends one line to the filter log; any failure drops the line.
void AppendFilterLogLine(std::string_view line);

// The platform's port access. It resolves how to reach a port on its first
// access, so a default that is never used does nothing at all.
TekoPortIo DefaultPortIo();
// Forgets every resolved port and backend choice (closes what was opened).
void ResetPortBackends();

}  // namespace teko::platform::os

namespace teko::platform {
// An absent port: every read answers all ones (ACK high, no ECR), writes go nowhere.
TekoPortIo EmptyPortIo();
}  // namespace teko::platform
