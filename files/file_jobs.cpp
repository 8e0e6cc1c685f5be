#include "files/file_jobs.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "common/format.h"
#include "script/app_context.h"
#include "script/job_slot.h"
#include "script/job_tasks.h"

namespace tb {

namespace {

struct FileJob {
    uint32_t number = 0;
    int slot = 0;
    FileJobKind kind = FileJobKind::Write;
    std::atomic<bool> ended{false};
    std::mutex lock;  // guards the fields below
    std::condition_variable changed;
    bool body_started = false;
    std::optional<FileJobOutcome> failure;

    int64_t state() const {
        const bool done = ended.load();
        if (kind == FileJobKind::Write) return done ? kFileWriteEnded : kFileWriteRunning;
        return done ? kFileReadEnded : kFileReadRunning;
    }
};

struct Registry {
    std::mutex lock;
    uint32_t next_number = 1;
    std::map<uint32_t, std::shared_ptr<FileJob>> jobs;
};

Registry& registry() {
    static Registry r;
    return r;
}

std::shared_ptr<FileJob> find_job(uint32_t number) {
    Registry& r = registry();
    std::lock_guard hold(r.lock);
    auto it = r.jobs.find(number);
    return it == r.jobs.end() ? nullptr : it->second;
}

class Control final : public FileJobControl {
public:
    Control(FileJob& job, const TaskControl& task) : job_(job), task_(task) {}
    bool stop_requested() const override { return task_.stop_requested() || cancel_requested(job_.slot); }
    void started() const override {
        {
            std::lock_guard hold(job_.lock);
            job_.body_started = true;
        }
        job_.changed.notify_all();
    }

private:
    FileJob& job_;
    const TaskControl& task_;
};

void run_body(const std::shared_ptr<FileJob>& job, const FileJobBody& body, const TaskControl& task) {
    Control control(*job, task);
    FileJobOutcome outcome = body(control);
    {
        std::lock_guard hold(job->lock);
        if (outcome.code != 1) job->failure = std::move(outcome);
        job->body_started = true;
        job->ended.store(true);
    }
    job->changed.notify_all();
}

}  // namespace

std::string file_job_variable(uint32_t number) { return fmt("_FThread%d", number); }

uint32_t start_file_job(int slot, FileJobKind kind, FileJobBody body) {
    auto job = std::make_shared<FileJob>();
    job->slot = slot;
    job->kind = kind;
    {
        Registry& r = registry();
        std::lock_guard hold(r.lock);
        job->number = r.next_number++;
        r.jobs.emplace(job->number, job);
    }
    publish_file_job_state(slot, job->number);
    const char* name = kind == FileJobKind::Write ? "File_Write" : "File_Read";
    start_job_task(slot, name, AtJobEnd::Stop,
                   [job, body = std::move(body)](const TaskControl& task) { run_body(job, body, task); });
    std::unique_lock hold(job->lock);
    job->changed.wait(hold, [&] { return job->body_started; });
    return job->number;
}

std::optional<int64_t> file_job_state(uint32_t number) {
    std::shared_ptr<FileJob> job = find_job(number);
    if (!job) return std::nullopt;
    return job->state();
}

void wait_file_job(uint32_t number) {
    std::shared_ptr<FileJob> job = find_job(number);
    if (!job) return;
    std::unique_lock hold(job->lock);
    job->changed.wait(hold, [&] { return job->ended.load(); });
}

void publish_file_job_state(int slot, uint32_t number) {
    std::shared_ptr<FileJob> job = find_job(number);
    JobSlot* js = job_slot(slot);
    if (!job || !js) return;
    js->vars.set_number(file_job_variable(number), job->state());
}

std::optional<FileJobOutcome> take_file_job_failure(uint32_t number) {
    std::shared_ptr<FileJob> job = find_job(number);
    if (!job || !job->ended.load()) return std::nullopt;
    std::lock_guard hold(job->lock);
    return std::exchange(job->failure, std::nullopt);
}

}  // namespace tb
