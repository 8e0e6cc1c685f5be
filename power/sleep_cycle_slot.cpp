#include "power/sleep_cycle_slot.h"

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/system_sleep.h"
#include "power/sleep_cycler.h"
#include "script/job_slot.h"
#include "script/job_tasks.h"

namespace tb {

namespace {

struct SlotCycler {
    std::mutex lock;
    TaskId task = 0;  // 0: never started
    std::shared_ptr<std::atomic<uint32_t>> cycles = std::make_shared<std::atomic<uint32_t>>(0);
};

SlotCycler* slot_cycler(int slot) {
    static std::array<SlotCycler, kSlotCount> cyclers;
    if (slot < 0 || slot >= kSlotCount) return nullptr;
    return &cyclers[static_cast<size_t>(slot)];
}

bool running(TaskId task) { return task != 0 && job_task_state(task) == TaskState::Running; }

void stop_and_wait(TaskId task) {
    if (!running(task)) return;
    stop_job_task(task);
    while (running(task)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

}  // namespace

void start_sleep_cycle(int slot, const SleepCycleSettings& settings) {
    SlotCycler* c = slot_cycler(slot);
    if (!c) return;
    std::lock_guard hold(c->lock);
    stop_and_wait(c->task);
    auto cycles = std::make_shared<std::atomic<uint32_t>>(0);
    c->cycles = cycles;
    std::shared_ptr<SystemSleep> machine = shared_system_sleep();
    const AtJobEnd at_end = settings.stop_by_job_end ? AtJobEnd::Stop : AtJobEnd::Detach;
    c->task = start_job_task(slot, "PowerState_S3S4", at_end,
                             [slot, settings, machine, cycles](const TaskControl& control) {
                                 run_sleep_cycle(slot, settings, *machine, control, *cycles);
                             });
}

bool sleep_cycle_running(int slot) {
    SlotCycler* c = slot_cycler(slot);
    if (!c) return false;
    std::lock_guard hold(c->lock);
    return running(c->task);
}

uint32_t sleep_cycles_started(int slot) {
    SlotCycler* c = slot_cycler(slot);
    if (!c) return 0;
    std::lock_guard hold(c->lock);
    return c->cycles->load();
}

}  // namespace tb
