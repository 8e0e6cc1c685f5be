// The device-control seam of the Windows disk backend: opening a device of
// the "\\.\" namespace and sending it one request. Nothing is decided here;
// the request layouts and their readings are the disk layer's.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/windows/host_handle.h"

namespace tb::windisk {

// Opens a device for pass-through: read-write, else read-only (enough for
// the queries), shared both ways. An invalid handle when neither works
// (GetLastError() says why).
host::HostHandle open_device(const std::string& utf8_path);
// The same with no access at all: enough for the identity queries of a
// device that refuses read access.
host::HostHandle open_device_for_queries(const std::string& utf8_path);

// One synchronous request; `returned` receives the bytes written to `out`.
// False with `error` set (the system's error number) when it failed.
bool control(HANDLE device, uint32_t code, const void* in, size_t in_size, void* out, size_t out_size,
             uint32_t& returned, uint32_t& error);

// A request whose one buffer is both input and output, as the pass-through
// requests use it.
bool control_in_place(HANDLE device, uint32_t code, std::span<uint8_t> buffer, uint32_t& returned,
                      uint32_t& error);

// A query without input whose reply fills `reply` (resized to what came back).
bool query(HANDLE device, uint32_t code, std::vector<uint8_t>& reply);
// A query with `request` as input and `reply` as output.
bool query(HANDLE device, uint32_t code, std::span<const uint8_t> request, std::vector<uint8_t>& reply);

}  // namespace tb::windisk
