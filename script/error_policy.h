// The error table and the single error policy every failure goes through.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tb {

// Codes of the error table.
enum ErrorCode : int32_t {
    kErrSuccessTrue = 1,
    kErrSuccessFalse = 0,
    kErrOpenDisk = -1,
    kErrParam = -2,
    kErrReadIO = -3,
    kErrWriteIO = -4,
    kErrUpdateFW = -5,
    kErrActiveFW = -6,
    kErrWaitFWActiveTimeout = -85,
    kErrPartitionControl = -7,
    kErrPartitionCount = -8,
    kErrDiskInfo = -9,
    kErrOutputFile = -21,
    kErrFileSize = -10,
    kErrSecuritySetPassword = -60,
    kErrSecurityUnlock = -61,
    kErrSecurityErasePrepare = -62,
    kErrSecurityErase = -63,
    kErrSecurityLock = -64,
    kErrSecurityDisable = -65,
    kErrMiscompareThenCorrect = -70,
    kErrMiscompareTwice = -71,
    kErrFileOpen = -11,
    kErrDelBlock = -13,
    kErrUpdateBlock = -14,
    kErrGetBlock = -15,
    kErrUndefinedCommand = -16,
    kErrCommandTooLong = -12,
    kErrLoseCommandEnd = -17,
    kErrLoseBlockEnd = -18,
    kErrPrepareFile = -19,
    kErrRawModeOnly = -20,
    kErrRawOrPartitionOnly = -22,
    kErrNoPartition = -24,
    kErrFormat = -23,
    kErrVariableNotInitial = -25,
    kErrVariableType = -26,
    kErrCannotCompare = -27,
    kErrKeywordNotFound = -28,
    kErrColumnNotFound = -29,
    kErrNoValidKey = -30,
    kErrPowerHub = -72,
    kErrAutoBarcode = -73,
    kErrIoControl = -74,
    kErrRemoveDevice = -75,
    kErrIoTimeout = -76,
    kErrNotSupported = -79,
    kErrTcpServer = -80,
    kErrOfaDriver = -81,
    kErrCompareSize = -82,
    kErrHostMemory = -83,
    kErrDiskTypeMismatch = -84,
    kErrChangeDriver = -86,
    kErrTooMuchMemory = -87,
    kErrNoOptionRom = -88,
    kErrPartitionC = -89,
    kErrInvalidData = -90,
    kErrGeneric = -255,
};

struct ErrorEntry {
    int32_t code;
    const char* description;
};

extern const std::array<ErrorEntry, 58> kErrorTable;

// The table entry of a code, or nullptr.
const ErrorEntry* find_error(int32_t code);

// The error policy: records the error in the slot, writes the error lines,
// counts it against _ErrorSkip and sets _ErrorCheck to 3 when it is not
// skipped. Codes >= 0 come only from Exit and set _ErrorCheck to 4.
void raise_error(int slot, int32_t code, std::string_view detail);

// Values of _ErrorCheck.
constexpr int64_t kCheckRunning = 1;
constexpr int64_t kCheckErrorStop = 3;
constexpr int64_t kCheckExit = 4;
constexpr int64_t kCheckClose = 5;

// Reads _ErrorCheck (1 when absent).
int64_t error_check(int slot);

}  // namespace tb
