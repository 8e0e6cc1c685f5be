#include "platform/serial_line.h"

#include "platform/machine_facility.h"
#include "platform/sim/sim_hub.h"

namespace tb {

namespace {

MachineFacility<SerialPorts>& facility() {
    static MachineFacility<SerialPorts> f([]() -> std::shared_ptr<SerialPorts> { return sim::make_sim_serial_ports(); },
                                  []() -> std::shared_ptr<SerialPorts> { return make_native_serial_ports(); });
    return f;
}

}  // namespace

SerialPorts& serial_ports() { return *facility().get(); }

void set_serial_ports(std::unique_ptr<SerialPorts> ports) { facility().install(std::move(ports)); }

}  // namespace tb
