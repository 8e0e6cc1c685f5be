// What feeds a disk, as its access path tells.
#pragma once

#include "disk/disk_record.h"

namespace tb {

enum class DiskSupply { JMicronBridge, AsmediaBridge, Rtl9210BBridge, Hub };

inline DiskSupply supply_of(const DiskRecord& disk) {
    switch (disk.access_protocol) {
        case kProtoJmi: return DiskSupply::JMicronBridge;
        case kProtoAsm2362:
        case kProtoAsm2364: return DiskSupply::AsmediaBridge;
        case kProtoRtl9210B: return DiskSupply::Rtl9210BBridge;
        default: return DiskSupply::Hub;
    }
}

}  // namespace tb
