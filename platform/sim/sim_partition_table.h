// The simulated machine's partition tables: real MBR or GPT sectors in the
// simulated disk's image, file systems made by the host's mkfs programs in
// a scratch image and copied into the partition (where the host has them:
// Linux; on Windows formatting is refused). A disk the machine file gives
// volumes has no table sectors: its table is those volumes, held by the
// machine, and cannot be changed.
#pragma once

#include <memory>
#include <string>

#include "platform/disk_device.h"
#include "platform/partition_table.h"

namespace tb::sim {

class SimDisk;
class SimMachine;

std::unique_ptr<PartitionTables> make_sim_partition_tables();

// Discovery of a disk the machine file gives no volumes: one volume per
// partition of the table in its image, with the letter asked for when it
// made the partition if it is free, else the first free one from D:.
// `taken` holds the letters given so far and is extended.
void add_table_volumes(SimMachine& machine, SimDisk& disk, DiscoveredDisk& found, std::string& taken);

}  // namespace tb::sim
