#include "ui/status.h"

#include <mutex>

#include "script/job_slot.h"
#include "script/job_events.h"

namespace tb {

namespace {

struct SlotStatus {
    std::string text;
    ProgressStage stage;
};

std::mutex g_status_lock;
SlotStatus g_status[kSlotCount];

SlotStatus* status_of(int slot) { return slot >= 0 && slot < kSlotCount ? &g_status[slot] : nullptr; }

}  // namespace

void set_status_text(int slot, std::string_view text) {
    {
        std::lock_guard<std::mutex> guard(g_status_lock);
        SlotStatus* s = status_of(slot);
        if (!s) return;
        s->text = text;
    }
    job_events()->status_text(slot, text);
}

std::string status_text(int slot) {
    std::lock_guard<std::mutex> guard(g_status_lock);
    SlotStatus* s = status_of(slot);
    return s ? s->text : std::string();
}

void set_progress_stage(int slot, ProgressStage stage) {
    {
        std::lock_guard<std::mutex> guard(g_status_lock);
        SlotStatus* s = status_of(slot);
        if (!s) return;
        s->stage = stage;
    }
    job_events()->progress(slot, stage, 0);
}

ProgressStage progress_stage(int slot) {
    std::lock_guard<std::mutex> guard(g_status_lock);
    SlotStatus* s = status_of(slot);
    return s ? s->stage : ProgressStage{};
}

void reset_status(int slot) {
    std::lock_guard<std::mutex> guard(g_status_lock);
    if (SlotStatus* s = status_of(slot)) *s = SlotStatus{};
}

}  // namespace tb
