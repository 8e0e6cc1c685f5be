#include "platform/windows_io_rules.h"

#include <cerrno>
#include <cstdio>

namespace tb::winio {

namespace {

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::string device_path_for(const StorageAddress& where) {
    char path[32];
    if (where.volume_letter) std::snprintf(path, sizeof path, "\\\\.\\%c:", upper(where.volume_letter));
    else std::snprintf(path, sizeof path, "\\\\.\\PHYSICALDRIVE%u", static_cast<unsigned>(where.disk_number));
    return path;
}

bool is_device_namespace(std::string_view path) { return path.size() > 4 && path.substr(0, 4) == "\\\\.\\"; }

uint32_t handle_flags(bool direct, bool write_through) {
    uint32_t flags = kFlagOverlapped;
    if (direct) flags |= kFlagNoBuffering;
    if (write_through) flags |= kFlagWriteThrough;
    return flags;
}

bool lock_volume_for_raw_io(const StorageAddress& where) {
    const char letter = upper(where.volume_letter);
    return letter >= 'D' && letter <= 'Z';
}

int32_t errno_from_system_error(uint32_t error) {
    switch (error) {
        case 0: return -EIO;  // failed without saying why
        case 2:               // file not found
        case 3:               // path not found
        case 15:              // invalid drive
            return -ENOENT;
        case 5:    // access denied
        case 19:   // write protected
        case 32:   // sharing violation
        case 33:   // lock violation
            return -EACCES;
        case 8:    // not enough memory
        case 14:   // out of memory
        case 1450: // no system resources
            return -ENOMEM;
        case 1:    // invalid function
        case 50:   // not supported
            return -EOPNOTSUPP;
        case 87:   // invalid parameter
        case 1784: // invalid user buffer (misaligned unbuffered I/O)
            return -EINVAL;
        case kErrorHandleEof: return -ENXIO;  // beyond the end of the medium
        case 112:  // disk full
            return -ENOSPC;
        case 21:   // not ready
        case 1167: // device not connected
            return -ENODEV;
        case kErrorOperationAborted:
        case 1223: // cancelled
            return -ECANCELED;
        case 121:  // semaphore timeout
        case 1460: // timeout
            return -ETIMEDOUT;
        case 23:   // CRC error
        case 25:   // seek error
        case 27:   // sector not found
        case 30:   // read fault
        case 29:   // write fault
        case 31:   // general failure
        case 1117: // I/O device error
        default: return -EIO;
    }
}

int32_t completion_result(bool succeeded, uint32_t bytes, uint32_t error) {
    if (succeeded) return bytes > 0x7FFFFFFFu ? -EOVERFLOW : static_cast<int32_t>(bytes);
    if (error == kErrorHandleEof) return 0;
    return errno_from_system_error(error);
}

}  // namespace tb::winio
