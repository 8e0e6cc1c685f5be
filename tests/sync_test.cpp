// Coordination between instances, with real processes on every system: the
// test binary starts itself again as helper instances (the hidden test
// SyncInstance.DISABLED_Role plays the role named in its environment), each
// in the test's own object namespace, reporting what it did and when to a
// file of its own. The barrier, the cross-instance lock, its take-over from
// a killed holder, GlobalVar and the stop broadcast are checked across them.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/format.h"
#include "platform/child_process.h"
#include "platform/host/temp_folder.h"
#include "platform/named_mutex.h"
#include "platform/paths.h"
#include "platform/process_identity.h"
#include "platform/shared_memory.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/global_var.h"
#include "script/job_slot.h"
#include "script/sync_commands.h"
#include "tests/test_support.h"
#include "ui/job_log.h"

using namespace tb;

namespace {

namespace fs = std::filesystem;

constexpr const char* kRoleVariable = "TAMBLOR_SYNC_ROLE";
constexpr const char* kFolderVariable = "TAMBLOR_SYNC_FOLDER";
constexpr const char* kIndexVariable = "TAMBLOR_SYNC_INDEX";

enum { kReady = 0, kArrive = 1, kRelease = 2 };

// Steady clocks count from one moment for every process of the machine.
int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

struct Record {
    int what = 0;
    int64_t at_ms = 0;
};

fs::path record_file(const fs::path& folder, int index) { return folder / fmt("records%d.txt", index); }

// The complete lines of a helper's record file.
std::vector<Record> read_records(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<Record> out;
    std::istringstream lines(text.substr(0, text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1));
    Record r;
    while (lines >> r.what >> r.at_ms) out.push_back(r);
    return out;
}

// ---------------------------------------------------------------------------
// The helper side.

class Helper {
public:
    Helper() : folder_(std::getenv(kFolderVariable)), index_(std::atoi(std::getenv(kIndexVariable))) {}

    void report(int what) const {
        std::ofstream out(record_file(folder_, index_), std::ios::binary | std::ios::app);
        out << what << ' ' << now_ms() << '\n';
    }
    // Blocks until the test opens the gate.
    void wait_gate(const char* gate = "go") const {
        while (!fs::exists(folder_ / gate)) sleep_ms(10);
    }
    int index() const { return index_; }

private:
    fs::path folder_;
    int index_;
};

bool log_has(std::string_view text, uint32_t colour_wanted) {
    for (const auto& l : job_log_lines(0))
        if (l.text == text && l.colour == colour_wanted) return true;
    return false;
}

// Two rounds of the barrier; members arrive one after another, in reverse in round 2.
int meet_twice(const Helper& h) {
    cmd_SyncInit(0, "DelaySec:0", "SyncInit");
    if (!job_slot(0)->sync_member) return 10;
    h.report(kReady);
    h.wait_gate();
    for (int round = 0; round < 2; ++round) {
        sleep_ms(300 * (round == 0 ? h.index() : 2 - h.index()));
        h.report(round * 10 + kArrive);
        if (sync_wait(0, 8, true) != kSyncReleased) return 20 + round;
        h.report(round * 10 + kRelease);
    }
    leave_sync_group(0);
    return 0;
}

int meet_once(const Helper& h) {
    cmd_SyncInit(0, "DelaySec:0", "SyncInit");
    h.report(kReady);
    h.wait_gate();
    if (sync_wait(0, 8, true) != kSyncReleased) return 20;
    h.report(kRelease);
    leave_sync_group(0);
    return 0;
}

// Ends its run normally (not cancelled) without reaching SyncWait.
int leave_before_waiting(const Helper& h) {
    cmd_SyncInit(0, "DelaySec:0", "SyncInit");
    h.report(kReady);
    h.wait_gate();
    sleep_ms(800);
    h.report(kArrive);
    leave_sync_group(0);
    return 0;
}

// A word every helper sees, set while a section runs: found set on entry, two sections overlap.
struct Occupancy {
    uint32_t inside;
    uint32_t sections;
};

// Four GlobalLock sections; 30 when another instance was found inside one.
int run_sections(const Helper& h) {
    SharedSegment seg;
    if (!seg.attach("SyncTestOccupancy", sizeof(Occupancy))) return 11;
    Occupancy* o = seg.as<Occupancy>();
    h.report(kReady);
    h.wait_gate();
    bool overlap = false;
    for (int k = 0; k < 4; ++k) {
        cmd_GlobalLock(0, "", "GlobalLock");
        if (job_slot(0)->error_code != 0) return 12;
        if (__atomic_exchange_n(&o->inside, 1u, __ATOMIC_ACQ_REL) != 0) overlap = true;
        __atomic_add_fetch(&o->sections, 1u, __ATOMIC_ACQ_REL);
        h.report(kArrive);
        sleep_ms(100);
        h.report(kRelease);
        __atomic_store_n(&o->inside, 0u, __ATOMIC_RELEASE);
        cmd_GlobalUnLock(0, "", "GlobalUnLock");
    }
    return overlap ? 30 : 0;
}

// Takes the lock and keeps it until it is killed.
int hold_lock(const Helper& h) {
    cmd_GlobalLock(0, "", "GlobalLock");
    if (global_mutex().held_by_this_thread() != 1) return 10;
    h.report(kArrive);
    sleep_ms(60000);
    return 0;
}

// The lock can be taken and released normally, twice.
int take_twice(const Helper&) {
    if (!global_mutex().try_lock_for(3000)) return 10;
    if (!global_mutex().unlock()) return 11;
    if (!global_mutex().try_lock_for(2000)) return 12;
    return global_mutex().unlock() ? 0 : 13;
}

int write_global_var(const Helper& h) {
    if (!global_var_map()) return 10;
    cmd_SetGlobalVar(0, "Name:\"Shared\", Value:\"across\"", "SetGlobalVar");
    h.report(kReady);
    h.wait_gate("bye");  // keeps the table mapped meanwhile
    global_var_unmap();
    return job_slot(0)->error_code == 0 ? 0 : 11;
}

int read_global_var(const Helper&) {
    if (!global_var_map()) return 10;
    const std::string text = global_var_text("Shared");
    global_var_unmap();
    return text == "across" ? 0 : 11;
}

// A registered instance: 1 when its cancel flag got set within `ms`, 0 when not.
int listen_for(const Helper& h, bool job_running, int ms) {
    register_instance();
    app().jobs[0].running = job_running;
    h.report(kReady);
    h.wait_gate();
    const int64_t end = now_ms() + ms;
    while (now_ms() < end && !cancel_requested(0)) sleep_ms(20);
    const bool cancelled = cancel_requested(0);
    const bool logged = log_has("---- Broadcast Trigger Cancel Job ----", colour::kCyan);
    unregister_instance();
    if (cancelled != logged) return 9;
    return cancelled ? 1 : 0;
}

int broadcast_stop(const Helper& h) {
    register_instance();
    app().jobs[0].running = true;
    h.report(kReady);
    h.wait_gate();
    broadcast_error_stop();
    sleep_ms(1500);  // its own watcher has had time to see it
    const bool cancelled = cancel_requested(0);
    unregister_instance();
    return cancelled ? 1 : 0;
}

int play(const std::string& role) {
    test::fresh_slot();
    const Helper h;
    if (role == "meet_twice") return meet_twice(h);
    if (role == "meet_once") return meet_once(h);
    if (role == "leave_before_waiting") return leave_before_waiting(h);
    if (role == "run_sections") return run_sections(h);
    if (role == "hold_lock") return hold_lock(h);
    if (role == "take_twice") return take_twice(h);
    if (role == "write_global_var") return write_global_var(h);
    if (role == "read_global_var") return read_global_var(h);
    if (role == "listen_running") return listen_for(h, true, 4000);
    if (role == "listen_idle") return listen_for(h, false, 2500);
    if (role == "broadcast_stop") return broadcast_stop(h);
    return 99;
}

// ---------------------------------------------------------------------------
// The test side.

int group_counter = 0;

// The helper instances of one test: a folder and an object namespace of their own.
class Instances : public ::testing::Test {
protected:
    void SetUp() override {
        ns_ = fmt("tbsync%d_%d_", static_cast<int>(current_process_id()), group_counter++);
        folder_ = host::temp_folder() / ns_;
        fs::create_directories(folder_);
    }
    void TearDown() override {
        finish(5000);
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }

    void start(int index, const std::string& role) {
        ChildOptions o;
        o.environment = {fmt("TAMBLOR_IPC_NAMESPACE=%s", ns_), fmt("%s=%s", kRoleVariable, role),
                         fmt("%s=%s", kFolderVariable, folder_.string()), fmt("%s=%d", kIndexVariable, index)};
        o.output_file = (folder_ / fmt("output%d.txt", index)).string();
        o.no_input = true;
        o.end_with_parent = true;
        auto child = std::make_unique<ChildProcess>();
        ASSERT_TRUE(child->start({program_path(), "--gtest_also_run_disabled_tests",
                                  "--gtest_filter=SyncInstance.DISABLED_Role"},
                                 o))
            << role;
        if (helpers_.size() <= static_cast<size_t>(index)) helpers_.resize(index + 1);
        helpers_[index] = std::move(child);
    }

    void open_gate(const char* gate = "go") { std::ofstream(folder_ / gate) << "open"; }

    std::vector<Record> records(int index) const { return read_records(record_file(folder_, index)); }

    // Waits until helper `index` has reported `count` records.
    bool reported(int index, size_t count, int limit_ms) const {
        const int64_t end = now_ms() + limit_ms;
        while (records(index).size() < count) {
            if (now_ms() >= end) return false;
            sleep_ms(10);
        }
        return true;
    }

    // Waits for every helper (at most `limit_ms`); stragglers are killed and give -1.
    std::vector<int> finish(int limit_ms) {
        std::vector<int> codes;
        const int64_t end = now_ms() + limit_ms;
        for (auto& h : helpers_) {
            if (!h) {
                codes.push_back(-1);
                continue;
            }
            const int left = static_cast<int>(std::max<int64_t>(end - now_ms(), 0));
            if (h->wait_for(left)) {
                codes.push_back(h->exit_code());
            } else {
                h->end(0);
                codes.push_back(-1);
            }
            h.reset();
        }
        helpers_.clear();
        return codes;
    }

    // Ends helper `index` at once, as a crash would.
    void kill(int index) {
        helpers_[index]->end(0);
        helpers_[index].reset();
    }

    std::string outputs() const {
        std::string text;
        for (size_t i = 0; i < helpers_.size() + 4; ++i) {
            std::ifstream in(folder_ / fmt("output%d.txt", static_cast<int>(i)), std::ios::binary);
            if (in) text += fmt("--- helper %d:\n", static_cast<int>(i)) + std::string(std::istreambuf_iterator<char>(in), {});
        }
        return text;
    }

    std::string ns_;
    fs::path folder_;
    std::vector<std::unique_ptr<ChildProcess>> helpers_;
};

}  // namespace

// The helper instance: plays the role its environment names, then ends with its result.
TEST(SyncInstance, DISABLED_Role) {
    const char* role = std::getenv(kRoleVariable);
    if (!role) GTEST_SKIP() << "started by the cross-instance tests only";
    std::exit(play(role));
}

// ---------------------------------------------------------------------------
// The barrier.

using SyncBarrier = Instances;

TEST_F(SyncBarrier, ThreeInstancesMeetTwice) {
    for (int i = 0; i < 3; ++i) start(i, "meet_twice");
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(reported(i, 1, 15000)) << outputs();
    open_gate();
    const std::vector<int> codes = finish(15000);
    EXPECT_EQ(codes, std::vector<int>({0, 0, 0})) << outputs();
    for (int round = 0; round < 2; ++round) {
        int64_t last_arrival = 0, first_release = INT64_MAX, last_release = 0;
        int releases = 0;
        for (int i = 0; i < 3; ++i)
            for (const Record& r : records(i)) {
                if (r.what == round * 10 + kArrive) last_arrival = std::max(last_arrival, r.at_ms);
                if (r.what == round * 10 + kRelease) {
                    ++releases;
                    first_release = std::min(first_release, r.at_ms);
                    last_release = std::max(last_release, r.at_ms);
                }
            }
        ASSERT_EQ(releases, 3) << "round " << round;
        // Nobody passes before the last member arrives, and all pass together.
        EXPECT_GE(first_release, last_arrival) << "round " << round;
        EXPECT_LT(last_release - first_release, 1000) << "round " << round;
        EXPECT_LT(last_release - last_arrival, 1500) << "round " << round;
    }
}

TEST_F(SyncBarrier, MemberEndingWithoutSyncWaitReleasesTheOthers) {
    start(0, "meet_once");
    start(1, "meet_once");
    start(2, "leave_before_waiting");
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(reported(i, 1, 15000)) << outputs();
    open_gate();
    EXPECT_EQ(finish(12000), std::vector<int>({0, 0, 0})) << outputs();
    ASSERT_EQ(records(2).size(), 2u);
    const int64_t left_at = records(2)[1].at_ms;
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(records(i).size(), 2u);
        const int64_t released = records(i)[1].at_ms;
        EXPECT_GE(released, left_at);
        EXPECT_LT(released - left_at, 1500);  // released by the leaver, long before the timeout
    }
}

TEST_F(SyncBarrier, WaitWithoutInitIsAParameterError) {
    test::fresh_slot();
    cmd_SyncWait(0, "TimeoutSec:1", "SyncWait");
    EXPECT_EQ(job_slot(0)->error_code, kErrParam);
    EXPECT_EQ(job_slot(0)->error_text, "Parameters not match spec or over limit. SyncInit(); No Initial");
}

// ---------------------------------------------------------------------------
// The cross-instance lock.

using SyncGlobalLock = Instances;

// Every section, in time order, must end before the next one starts.
void expect_sections_apart(const std::vector<std::vector<Record>>& per_helper, size_t sections) {
    std::vector<std::pair<int64_t, int64_t>> spans;
    for (const auto& recs : per_helper)
        for (size_t k = 0; k + 1 < recs.size(); ++k)
            if (recs[k].what == kArrive && recs[k + 1].what == kRelease) spans.emplace_back(recs[k].at_ms, recs[k + 1].at_ms);
    ASSERT_EQ(spans.size(), sections);
    std::sort(spans.begin(), spans.end());
    for (size_t k = 0; k + 1 < spans.size(); ++k) EXPECT_GE(spans[k + 1].first, spans[k].second) << "section " << k;
}

TEST_F(SyncGlobalLock, SectionsOfThreeInstancesNeverOverlap) {
    for (int i = 0; i < 3; ++i) start(i, "run_sections");
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(reported(i, 1, 15000)) << outputs();
    open_gate();
    // 30 from a helper that found another one inside its section.
    EXPECT_EQ(finish(20000), std::vector<int>({0, 0, 0})) << outputs();
    expect_sections_apart({records(0), records(1), records(2)}, 12);
}

TEST_F(SyncGlobalLock, HolderKilledWhileHoldingReleasesTheLockToTheOthers) {
    start(0, "hold_lock");
    ASSERT_TRUE(reported(0, 1, 15000)) << outputs();
    start(1, "run_sections");
    start(2, "run_sections");
    ASSERT_TRUE(reported(1, 1, 15000) && reported(2, 1, 15000)) << outputs();
    open_gate();
    sleep_ms(1500);
    // Both wait for the holder: nobody is inside a section yet.
    EXPECT_EQ(records(1).size(), 1u);
    EXPECT_EQ(records(2).size(), 1u);
    kill(0);
    ASSERT_TRUE(reported(1, 9, 15000) && reported(2, 9, 15000)) << outputs();
    std::vector<int> codes = finish(5000);
    EXPECT_EQ(std::vector<int>(codes.begin() + 1, codes.end()), std::vector<int>({0, 0})) << outputs();
    expect_sections_apart({records(1), records(2)}, 8);
    // Taken over for good: the next instance takes and releases it normally.
    start(3, "take_twice");
    EXPECT_EQ(finish(10000), std::vector<int>({-1, -1, -1, 0})) << outputs();
}

// ---------------------------------------------------------------------------
// GlobalVar.

using SyncGlobalVar = Instances;

TEST_F(SyncGlobalVar, AnotherInstanceReadsWhatOneWrote) {
    start(0, "write_global_var");
    ASSERT_TRUE(reported(0, 1, 15000)) << outputs();
    start(1, "read_global_var");
    ASSERT_TRUE(helpers_[1]->wait_for(15000));
    EXPECT_EQ(helpers_[1]->exit_code(), 0) << outputs();
    open_gate("bye");
    EXPECT_EQ(finish(10000)[0], 0) << outputs();
}

// ---------------------------------------------------------------------------
// The stop broadcast.

using SyncBroadcast = Instances;

TEST_F(SyncBroadcast, StopsTheJobsOfTheOtherInstancesOnly) {
    start(0, "listen_running");  // a job runs: stopped
    start(1, "listen_idle");     // idle: left alone
    start(2, "broadcast_stop");  // its own broadcast does not stop it
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(reported(i, 1, 15000)) << outputs();
    open_gate();
    EXPECT_EQ(finish(12000), std::vector<int>({1, 0, 0})) << outputs();
}
