#include "platform/partition_table.h"

#include "platform/machine_facility.h"
#include "platform/sim/sim_partition_table.h"

namespace tb {

namespace {

MachineFacility<PartitionTables>& facility() {
    static MachineFacility<PartitionTables> f(
        []() -> std::shared_ptr<PartitionTables> { return sim::make_sim_partition_tables(); },
        []() -> std::shared_ptr<PartitionTables> { return make_native_partition_tables(); });
    return f;
}

}  // namespace

const char* scheme_name(PartitionScheme scheme) {
    switch (scheme) {
        case PartitionScheme::Gpt: return "GPT";
        case PartitionScheme::Mbr: return "MBR";
        case PartitionScheme::None: break;
    }
    return "RAW";
}

std::shared_ptr<PartitionTables> shared_partition_tables() { return facility().get(); }

PartitionTables& partition_tables() { return *shared_partition_tables(); }

void set_partition_tables(std::unique_ptr<PartitionTables> tables) { facility().install(std::move(tables)); }

}  // namespace tb
