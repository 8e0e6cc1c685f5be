#include "platform/windows/disk_ioctl.h"

#include "platform/windows/host_text.h"

namespace tb::windisk {

namespace {

host::HostHandle open_with(const std::string& utf8_path, DWORD access) {
    const std::wstring path = host::utf8_to_wide(utf8_path);
    return host::HostHandle(::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

host::HostHandle open_device(const std::string& utf8_path) {
    host::HostHandle h = open_with(utf8_path, GENERIC_READ | GENERIC_WRITE);
    if (!h) h = open_with(utf8_path, GENERIC_READ);
    return h;
}

host::HostHandle open_device_for_queries(const std::string& utf8_path) {
    host::HostHandle h = open_device(utf8_path);
    if (!h) h = open_with(utf8_path, 0);
    return h;
}

bool control(HANDLE device, uint32_t code, const void* in, size_t in_size, void* out, size_t out_size,
             uint32_t& returned, uint32_t& error) {
    DWORD got = 0;
    const BOOL ok = ::DeviceIoControl(device, code, const_cast<void*>(in), static_cast<DWORD>(in_size), out,
                                      static_cast<DWORD>(out_size), &got, nullptr);
    returned = got;
    error = ok ? 0 : ::GetLastError();
    return ok != FALSE;
}

bool control_in_place(HANDLE device, uint32_t code, std::span<uint8_t> buffer, uint32_t& returned,
                      uint32_t& error) {
    return control(device, code, buffer.data(), buffer.size(), buffer.data(), buffer.size(), returned, error);
}

bool query(HANDLE device, uint32_t code, std::vector<uint8_t>& reply) {
    return query(device, code, {}, reply);
}

bool query(HANDLE device, uint32_t code, std::span<const uint8_t> request, std::vector<uint8_t>& reply) {
    uint32_t returned = 0, error = 0;
    if (!control(device, code, request.empty() ? nullptr : request.data(), request.size(), reply.data(),
                 reply.size(), returned, error))
        return false;
    reply.resize(returned);
    return true;
}

}  // namespace tb::windisk
