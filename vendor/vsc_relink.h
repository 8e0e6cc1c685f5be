// How a vendor command brings the current target back after it changed the
// controller's state, by the way the disk is attached. Each writes its line,
// makes its request and then waits for the disk to come back (20 s). The
// result: true when the disk is back, false when it stayed away (the wait's
// time-out line is written; the script judges) or, after raising the
// error, when the machine refused the request.
#pragma once

namespace tb {

// Whether the current target sits behind a USB-to-NVMe bridge.
bool vsc_behind_bridge();

// The link: behind a JMicron or ASMedia bridge the bridge's re-link
// request, otherwise "PCIE ReLink Disk": the controller device disabled,
// 2 s, enabled again.
bool vsc_relink_link(int slot);

// The bridge's re-link request behind a JMicron or ASMedia bridge,
// otherwise "Remove ReScanDriver": the device removed, 5 s, the devices
// re-enumerated.
bool vsc_relink_rescan(int slot);

// "Remove ReScanDriver" alone.
bool vsc_remove_rescan(int slot);

// "Power Reset": the bridge's power cut and restored (JMicron: its power
// cycle request; ASMedia: off, 3 s, on); other disks are re-linked.
bool vsc_power_reset(int slot);

}  // namespace tb
