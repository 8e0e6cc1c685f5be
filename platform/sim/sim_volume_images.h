// Simulated volumes that carry a file system: a disk's `volume_image =
// D:/path/vol.img` names an image file (made by mkfs.ntfs, mkfs.ext4...)
// that volume D: starts as at every start of the machine. The image is only
// read; what the machine writes goes to the disk's own medium.
#pragma once

#include <string>
#include <vector>

#include "platform/sim/sim_config.h"

namespace tb::sim {

class BackingStore;

// Reads "D:/path/vol.img" into `out`; false with the reason.
bool parse_volume_image(const std::string& value, int line, std::vector<VolumeImage>& out, std::string& error);

// Gives each image to its volume and the volume the image's size when its
// size was not written; false with the line and reason when a letter names
// no volume, an image cannot be read or does not fit its volume.
bool attach_volume_images(DiskConfig& disk, int& line, std::string& error);

// Copies every volume's image onto the disk's medium at the volume's place.
bool copy_volume_images(const DiskConfig& disk, BackingStore& store, std::string* error);

}  // namespace tb::sim
