#include "vendor/vendor_identify.h"

#include "disk/vendor_identification.h"

namespace tb {

uint32_t identify_maker_controller(DiskRecord& record) {
    record.soc_id = 0;
    record.command_set = 0;
    return 0;
}

void install_vendor_identification() { set_vendor_identifier(identify_maker_controller); }

}  // namespace tb
