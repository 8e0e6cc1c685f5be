#include "script/job_tasks.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace tb {

namespace {

struct Task final : TaskControl {
    int slot = 0;
    std::string name;
    AtJobEnd at_end = AtJobEnd::Join;
    std::atomic<TaskState> state{TaskState::Running};
    std::atomic<bool> stop{false};
    mutable std::mutex lock;
    mutable std::condition_variable wake;
    std::thread thread;

    bool stop_requested() const override { return stop.load(); }
    bool sleep(uint64_t ms) const override {
        std::unique_lock<std::mutex> hold(lock);
        return !wake.wait_for(hold, std::chrono::milliseconds(ms), [this] { return stop.load(); });
    }
    void request_stop() {
        {
            std::lock_guard<std::mutex> hold(lock);
            stop.store(true);
        }
        wake.notify_all();
    }
};

struct Registry {
    std::mutex lock;
    TaskId next_id = 1;
    std::map<TaskId, std::shared_ptr<Task>> tasks;
};

Registry& registry() {
    static Registry r;
    return r;
}

std::shared_ptr<Task> find_task(TaskId id) {
    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.lock);
    auto it = r.tasks.find(id);
    return it == r.tasks.end() ? nullptr : it->second;
}

// Takes the matching tasks out of the registry, so that joining them happens
// without holding its lock (a body may start another task).
std::vector<std::shared_ptr<Task>> take_tasks(const std::function<bool(const Task&)>& which) {
    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.lock);
    std::vector<std::shared_ptr<Task>> taken;
    for (auto it = r.tasks.begin(); it != r.tasks.end();) {
        if (which(*it->second)) {
            taken.push_back(it->second);
            it = r.tasks.erase(it);
        } else {
            ++it;
        }
    }
    return taken;
}

void join(Task& t) {
    if (t.thread.joinable() && t.thread.get_id() != std::this_thread::get_id()) t.thread.join();
    else if (t.thread.joinable()) t.thread.detach();  // a body ending its own job
}

}  // namespace

TaskId start_job_task(int slot, std::string name, AtJobEnd at_end, TaskBody body) {
    auto task = std::make_shared<Task>();
    task->slot = slot;
    task->name = std::move(name);
    task->at_end = at_end;
    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.lock);
    const TaskId id = r.next_id++;
    r.tasks.emplace(id, task);
    task->thread = std::thread([task, body = std::move(body)] {
        body(*task);
        task->state.store(task->stop_requested() ? TaskState::Stopped : TaskState::Done);
    });
    return id;
}

TaskState job_task_state(TaskId id) {
    auto t = find_task(id);
    return t ? t->state.load() : TaskState::Done;
}

void stop_job_task(TaskId id) {
    if (auto t = find_task(id)) t->request_stop();
}

size_t running_job_tasks(int slot) {
    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.lock);
    return static_cast<size_t>(std::count_if(r.tasks.begin(), r.tasks.end(), [slot](const auto& e) {
        return e.second->slot == slot && e.second->state.load() == TaskState::Running;
    }));
}

void end_job_tasks(int slot) {
    auto ending = take_tasks([slot](const Task& t) { return t.slot == slot && t.at_end != AtJobEnd::Detach; });
    for (auto& t : ending)
        if (t->at_end == AtJobEnd::Stop) t->request_stop();
    for (auto& t : ending) join(*t);
    // Detached tasks that have finished need not wait for the shutdown.
    for (auto& t : take_tasks([slot](const Task& t) { return t.slot == slot && t.state.load() != TaskState::Running; }))
        join(*t);
}

void shut_down_job_tasks() {
    auto all = take_tasks([](const Task&) { return true; });
    for (auto& t : all) t->request_stop();
    for (auto& t : all) join(*t);
}

}  // namespace tb
