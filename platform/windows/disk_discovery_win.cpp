#include "platform/windows/disk_discovery_win.h"

#include <windows.h>
// clang-format off
#include <initguid.h>
#include <devpkey.h>
#include <setupapi.h>
#include <cfgmgr32.h>
#include <winioctl.h>
#include <usbiodef.h>
// clang-format on

#include <optional>
#include <string>
#include <vector>

#include "disk/nvme_requests.h"  // the property query's control code
#include "disk/windows_locations.h"
#include "disk/windows_replies.h"
#include "disk/windows_requests.h"
#include "platform/windows/disk_ioctl.h"
#include "platform/windows/host_text.h"

namespace tb::windisk {

namespace {

// An owned SetupAPI device information set.
class DeviceInfoSet {
public:
    explicit DeviceInfoSet(const GUID& interface_class)
        : set_(::SetupDiGetClassDevsW(&interface_class, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)) {}
    DeviceInfoSet(const DeviceInfoSet&) = delete;
    DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;
    ~DeviceInfoSet() {
        if (valid()) ::SetupDiDestroyDeviceInfoList(set_);
    }
    bool valid() const { return set_ != INVALID_HANDLE_VALUE; }
    HDEVINFO get() const { return set_; }

private:
    HDEVINFO set_;
};

// One present device interface: its path and its device node.
struct InterfaceEntry {
    std::string path;
    DEVINST node = 0;
};

bool interface_at(const DeviceInfoSet& set, const GUID& interface_class, DWORD index, InterfaceEntry& out,
                  bool& more) {
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    more = ::SetupDiEnumDeviceInterfaces(set.get(), nullptr, &interface_class, index, &data) != FALSE;
    if (!more) return false;
    DWORD needed = 0;
    ::SetupDiGetDeviceInterfaceDetailW(set.get(), &data, nullptr, 0, &needed, nullptr);
    if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) return false;
    std::vector<uint8_t> storage(needed, 0);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    if (!::SetupDiGetDeviceInterfaceDetailW(set.get(), &data, detail, needed, nullptr, &info)) return false;
    out.path = host::wide_to_utf8(detail->DevicePath);
    out.node = info.DevInst;
    return true;
}

std::vector<InterfaceEntry> present_interfaces(const GUID& interface_class) {
    std::vector<InterfaceEntry> out;
    DeviceInfoSet set(interface_class);
    if (!set.valid()) return out;
    bool more = true;
    for (DWORD i = 0; more; ++i) {
        InterfaceEntry e;
        if (interface_at(set, interface_class, i, e, more)) out.push_back(std::move(e));
    }
    return out;
}

// ---- device node properties -------------------------------------------------

std::string node_text(DEVINST node, ULONG property) {
    wchar_t buf[512] = {};
    ULONG size = sizeof buf - sizeof(wchar_t);
    ULONG type = 0;
    if (::CM_Get_DevNode_Registry_PropertyW(node, property, &type, buf, &size, 0) != CR_SUCCESS) return {};
    if (type != REG_SZ && type != REG_MULTI_SZ) return {};
    return host::wide_to_utf8(buf);
}

uint32_t node_number(DEVINST node, ULONG property) {
    DWORD value = 0;
    ULONG size = sizeof value;
    ULONG type = 0;
    if (::CM_Get_DevNode_Registry_PropertyW(node, property, &type, &value, &size, 0) != CR_SUCCESS) return 0;
    return type == REG_DWORD ? value : 0;
}

std::string node_instance(DEVINST node) {
    wchar_t buf[MAX_DEVICE_ID_LEN + 1] = {};
    if (::CM_Get_Device_IDW(node, buf, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) return {};
    return host::wide_to_utf8(buf);
}

std::string node_driver_version(DEVINST node) {
    wchar_t buf[128] = {};
    ULONG size = sizeof buf - sizeof(wchar_t);
    DEVPROPTYPE type = 0;
    if (::CM_Get_DevNode_PropertyW(node, &DEVPKEY_Device_DriverVersion, &type, reinterpret_cast<PBYTE>(buf), &size,
                                   0) != CR_SUCCESS ||
        type != DEVPROP_TYPE_STRING)
        return {};
    return host::wide_to_utf8(buf);
}

std::optional<DEVINST> parent_of(DEVINST node) {
    DEVINST parent = 0;
    if (::CM_Get_Parent(&parent, node, 0) != CR_SUCCESS) return std::nullopt;
    return parent;
}

// The LocationInformation value of a device as the registry stores it.
std::string stored_location_information(const std::string& instance) {
    if (instance.empty()) return {};
    const std::wstring key = L"SYSTEM\\CurrentControlSet\\Enum\\" + host::utf8_to_wide(instance);
    wchar_t buf[512] = {};
    DWORD size = sizeof buf - sizeof(wchar_t);
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"LocationInformation", RRF_RT_REG_SZ, nullptr, buf,
                       &size) != ERROR_SUCCESS)
        return {};
    return host::wide_to_utf8(buf);
}

// The 1-based position of a host controller among the present ones.
uint32_t host_controller_index(DEVINST controller) {
    std::vector<InterfaceEntry> controllers = present_interfaces(GUID_DEVINTERFACE_USB_HOST_CONTROLLER);
    for (size_t i = 0; i < controllers.size(); ++i)
        if (controllers[i].node == controller) return static_cast<uint32_t>(i + 1);
    return 0;
}

// Walks up from a USB disk's parent: every USB device and hub below the root
// hub adds its port; the root hub's parent is the host controller.
void usb_path(DEVINST start, winreq::LocationSources& sources) {
    std::optional<DEVINST> node = start;
    for (int depth = 0; node && depth < 16; ++depth, node = parent_of(*node)) {
        const std::string instance = node_instance(*node);
        if (winreq::is_root_hub_instance(instance)) {
            if (std::optional<DEVINST> controller = parent_of(*node))
                sources.usb_controller_index = host_controller_index(*controller);
            return;
        }
        if (!winreq::adds_usb_port(instance)) continue;
        const uint32_t port = winreq::usb_port_from_location(node_text(*node, CM_DRP_LOCATION_INFORMATION));
        if (port) sources.usb_ports.push_back(port);
    }
}

void read_controller(DEVINST disk_node, DiscoveredDisk& d) {
    std::optional<DEVINST> parent = parent_of(disk_node);
    if (!parent) return;
    d.controller_name = node_text(*parent, CM_DRP_FRIENDLYNAME);
    if (d.controller_name.empty()) d.controller_name = node_text(*parent, CM_DRP_DEVICEDESC);
    d.controller_instance = node_instance(*parent);
    d.controller_service = node_text(*parent, CM_DRP_SERVICE);
    d.driver_version = node_driver_version(*parent);

    const std::string location = stored_location_information(d.controller_instance);
    winreq::LocationSources sources;
    sources.pci_location_information = location;
    sources.bus_address = node_number(*parent, CM_DRP_ADDRESS);
    if (d.bus_type == kBusUsb) usb_path(*parent, sources);
    d.port_location = winreq::port_location_for(d.bus_type, sources);
}

// ---- the storage queries of one disk ----------------------------------------

void read_identity(HANDLE h, DiscoveredDisk& d) {
    std::vector<uint8_t> reply(64, 0);
    if (query(h, winreq::kIoctlStorageGetDeviceNumber, reply))
        if (auto n = winreq::parse_device_number(reply)) d.disk_number = n->device_number;

    reply.assign(256, 0);
    if (query(h, winreq::kIoctlDiskGetDriveGeometryEx, reply))
        if (auto g = winreq::parse_drive_geometry_ex(reply)) {
            d.length_bytes = g->disk_size;
            if (g->bytes_per_sector) d.bytes_per_sector = g->bytes_per_sector;
        }

    reply.assign(64, 0);
    if (query(h, winreq::kIoctlScsiGetAddress, reply))
        if (auto a = winreq::parse_scsi_address(reply)) {
            d.scsi_port = a->port;
            d.scsi_path_id = a->path_id;
            d.scsi_target = a->target;
            d.scsi_lun = a->lun;
        }

    reply.assign(1024, 0);
    if (query(h, kIoctlStorageQueryProperty, winreq::build_device_property_query(), reply))
        if (auto desc = winreq::parse_device_descriptor(reply)) {
            d.bus_type = desc->bus_type;
            d.removable = desc->removable;
        }
}

std::string friendly_name(DEVINST node) {
    std::string name = node_text(node, CM_DRP_FRIENDLYNAME);
    return name.empty() ? node_text(node, CM_DRP_DEVICEDESC) : name;
}

// ---- volumes ------------------------------------------------------------------

std::optional<std::vector<winreq::DiskExtent>> volume_extents(HANDLE volume) {
    std::vector<uint8_t> reply(winreq::volume_extents_reply_size(32), 0);
    if (!query(volume, winreq::kIoctlVolumeGetVolumeDiskExtents, reply)) return std::nullopt;
    return winreq::parse_volume_disk_extents(reply);
}

void add_lettered_volumes(std::vector<DiscoveredDisk>& disks) {
    const DWORD letters = ::GetLogicalDrives();
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        if (!(letters & (1u << (letter - 'A')))) continue;
        const std::string path = std::string("\\\\.\\") + letter + ":";
        host::HostHandle h = open_device_for_queries(path);
        if (!h) continue;
        std::vector<uint8_t> reply(64, 0);
        std::optional<winreq::DeviceNumber> number;
        if (query(h.get(), winreq::kIoctlStorageGetDeviceNumber, reply)) number = winreq::parse_device_number(reply);
        if (!number || !number->is_disk()) continue;
        for (DiscoveredDisk& d : disks) {
            if (d.disk_number != number->device_number) continue;
            DiscoveredVolume v;
            v.letter = letter;
            const std::wstring root = std::wstring(1, static_cast<wchar_t>(letter)) + L":\\";
            ULARGE_INTEGER free_bytes{}, total{};
            if (::GetDiskFreeSpaceExW(root.c_str(), &free_bytes, &total, nullptr)) {
                v.free_bytes = free_bytes.QuadPart;
                v.total_bytes = total.QuadPart;
            }
            v.aligned_4k = winreq::volume_aligned_4k(volume_extents(h.get()));
            v.native_path = std::string(1, letter) + ":\\";
            d.volumes.push_back(v);
        }
    }
}

// Disks that hold any mounted volume, lettered or not, are in use.
void mark_disks_in_use(std::vector<DiscoveredDisk>& disks) {
    wchar_t name[MAX_PATH] = {};
    HANDLE find = ::FindFirstVolumeW(name, MAX_PATH);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring volume = name;
        if (!volume.empty() && volume.back() == L'\\') volume.pop_back();
        host::HostHandle h = open_device_for_queries(host::wide_to_utf8(volume));
        if (!h) continue;
        if (auto extents = volume_extents(h.get()))
            for (const winreq::DiskExtent& e : *extents)
                for (DiscoveredDisk& d : disks)
                    if (d.disk_number == e.disk_number) d.in_use = true;
    } while (::FindNextVolumeW(find, name, MAX_PATH));
    ::FindVolumeClose(find);
}

}  // namespace

std::vector<DiscoveredDisk> discover_windows_disks() {
    std::vector<DiscoveredDisk> disks;
    for (const InterfaceEntry& e : present_interfaces(GUID_DEVINTERFACE_DISK)) {
        DiscoveredDisk d;
        d.interface_path = e.path;
        d.friendly_name = friendly_name(e.node);
        host::HostHandle h = open_device_for_queries(e.path);
        if (h) read_identity(h.get(), d);
        read_controller(e.node, d);
        disks.push_back(std::move(d));
    }
    add_lettered_volumes(disks);
    mark_disks_in_use(disks);
    return disks;
}

}  // namespace tb::windisk
