// Coordination between instances, the Linux side: instances are forked
// children of the test process (their state set up in the test process
// itself), the shared objects are files in /dev/shm with owners and modes,
// and other users are played with setpriv. Each test works in a namespace of
// its own so that tests (and test runs) never see each other's objects.
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/format.h"
#include "platform/named_mutex.h"
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

int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// What a child reports: who, which event, when (steady clock, shared by all processes).
struct Record {
    int32_t who;
    int32_t what;
    int64_t at_ms;
};

class Pipe {
public:
    Pipe() {
        if (::pipe(fds_) != 0) fds_[0] = fds_[1] = -1;
    }
    ~Pipe() {
        close_read();
        close_write();
    }
    int r() const { return fds_[0]; }
    int w() const { return fds_[1]; }
    void close_read() {
        if (fds_[0] >= 0) ::close(fds_[0]);
        fds_[0] = -1;
    }
    void close_write() {
        if (fds_[1] >= 0) ::close(fds_[1]);
        fds_[1] = -1;
    }

private:
    int fds_[2];
};

void report(const Pipe& p, int who, int what) {
    Record rec{who, what, now_ms()};
    [[maybe_unused]] ssize_t n = ::write(p.w(), &rec, sizeof rec);  // below PIPE_BUF: never interleaved
}

// Blocks until the parent opens the gate (one byte per child).
void wait_gate(const Pipe& gate) {
    char c;
    [[maybe_unused]] ssize_t n = ::read(gate.r(), &c, 1);
}

void open_gate(const Pipe& gate, int children) {
    for (int i = 0; i < children; ++i) {
        [[maybe_unused]] ssize_t n = ::write(gate.w(), "g", 1);
    }
}

// Reads `count` records (waiting at most `limit_ms`).
std::vector<Record> read_records(const Pipe& p, size_t count, int limit_ms) {
    std::vector<Record> out;
    const int64_t end = now_ms() + limit_ms;
    ::fcntl(p.r(), F_SETFL, O_NONBLOCK);
    while (out.size() < count && now_ms() < end) {
        Record rec{};
        ssize_t n = ::read(p.r(), &rec, sizeof rec);
        if (n == static_cast<ssize_t>(sizeof rec)) out.push_back(rec);
        else sleep_ms(5);
    }
    return out;
}

// Runs `body` in a child process, which ends with its return value.
pid_t spawn(const std::function<int()>& body) {
    pid_t pid = ::fork();
    if (pid == 0) {
        int rc = body();
        ::_exit(rc);
    }
    return pid;
}

// Waits for every child for at most `limit_ms`; stragglers are killed and give -1.
std::vector<int> reap(const std::vector<pid_t>& pids, int limit_ms) {
    std::vector<int> codes(pids.size(), -1);
    std::vector<bool> done(pids.size(), false);
    const int64_t end = now_ms() + limit_ms;
    size_t left = pids.size();
    while (left > 0 && now_ms() < end) {
        for (size_t i = 0; i < pids.size(); ++i) {
            if (done[i]) continue;
            int status = 0;
            if (::waitpid(pids[i], &status, WNOHANG) == pids[i]) {
                done[i] = true;
                --left;
                codes[i] = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
        }
        if (left > 0) sleep_ms(10);
    }
    for (size_t i = 0; i < pids.size(); ++i) {
        if (done[i]) continue;
        ::kill(pids[i], SIGKILL);
        ::waitpid(pids[i], nullptr, 0);
    }
    return codes;
}

int counter = 0;

class SyncFixture : public ::testing::Test {
protected:
    void SetUp() override {
        test::fresh_slot();
        ns_ = fmt("tbsync%d_%d_", static_cast<int>(::getpid()), counter++);
        ::setenv("TAMBLOR_IPC_NAMESPACE", ns_.c_str(), 1);
    }
    void TearDown() override {
        remove_shared_objects();
        ::unsetenv("TAMBLOR_IPC_NAMESPACE");
        job_slot(0)->sync_member = false;
    }
    std::string ns_;
};

bool log_has(std::string_view text, uint32_t colour_wanted) {
    for (const auto& l : job_log_lines(0))
        if (l.text == text && l.colour == colour_wanted) return true;
    return false;
}

}  // namespace

// ---------------------------------------------------------------------------
// The barrier.

class ForkedBarrier : public SyncFixture {};

enum { kArrive = 1, kRelease = 2 };

TEST_F(ForkedBarrier, CancelledWaiterTakesItsArrivalBack) {
    Pipe ready, gate, out;
    std::vector<pid_t> kids;
    kids.push_back(spawn([&] {
        cmd_SyncInit(0, "DelaySec:0", "SyncInit");
        report(ready, 0, 0);
        wait_gate(gate);
        std::thread stopper([] {
            sleep_ms(600);
            set_cancel(0);
        });
        const int64_t start = now_ms();
        int r = sync_wait(0, 0, true);
        stopper.join();
        if (r != kSyncCancelled) return 10;
        if (now_ms() - start > 2000) return 11;  // the wait looks at the cancel flag every second
        app().jobs[0].cancel = false;
        // Still a member: the next round must wait for the other instance.
        if (sync_wait(0, 8, true) != kSyncReleased) return 12;
        report(out, 0, kRelease);
        leave_sync_group(0);
        return 0;
    }));
    kids.push_back(spawn([&] {
        cmd_SyncInit(0, "DelaySec:0", "SyncInit");
        report(ready, 1, 0);
        wait_gate(gate);
        sleep_ms(2000);
        report(out, 1, kArrive);
        if (sync_wait(0, 8, true) != kSyncReleased) return 20;
        leave_sync_group(0);
        return 0;
    }));
    ASSERT_EQ(read_records(ready, 2, 5000).size(), 2u);
    open_gate(gate, 2);
    std::vector<Record> recs = read_records(out, 2, 9000);
    EXPECT_EQ(reap(kids, 3000), std::vector<int>({0, 0}));
    ASSERT_EQ(recs.size(), 2u);
    int64_t arrival = 0, release = 0;
    for (const Record& r : recs) (r.what == kArrive ? arrival : release) = r.at_ms;
    EXPECT_GE(release, arrival);
}

TEST_F(ForkedBarrier, TimeoutOnlyWritesALine) {
    Pipe ready, gate, done, release;
    std::vector<pid_t> kids;
    kids.push_back(spawn([&] {
        cmd_SyncInit(0, "DelaySec:0", "SyncInit");
        report(ready, 0, 0);
        wait_gate(gate);
        const int64_t start = now_ms();
        cmd_SyncWait(0, "TimeoutSec:1", "SyncWait");
        const int64_t took = now_ms() - start;
        report(done, 0, 0);
        if (took < 900 || took > 2500) return 10;
        if (job_slot(0)->error_code != 0) return 11;
        if (!log_has("Wait 2 Threads Synchronize...", colour::kWhite)) return 12;
        if (!log_has("Wait Synchronize Timeout", colour::kWhite)) return 13;
        leave_sync_group(0);
        return 0;
    }));
    kids.push_back(spawn([&] {
        cmd_SyncInit(0, "DelaySec:0", "SyncInit");
        report(ready, 1, 0);
        wait_gate(gate);
        wait_gate(release);  // stays a member until the other timed out
        leave_sync_group(0);
        return 0;
    }));
    ASSERT_EQ(read_records(ready, 2, 5000).size(), 2u);
    open_gate(gate, 2);
    // Pass the other's report on to the second child (a pipe of its own: the
    // parent's reads make `done` non-blocking for every process).
    std::vector<Record> recs = read_records(done, 1, 5000);
    ASSERT_EQ(recs.size(), 1u);
    open_gate(release, 1);
    EXPECT_EQ(reap(kids, 4000), std::vector<int>({0, 0}));
}

// ---------------------------------------------------------------------------
// The cross-instance lock.

class ForkedGlobalLock : public SyncFixture {};

TEST_F(ForkedGlobalLock, EndOfRunReleasesEveryTake) {
    Pipe step, go;
    pid_t owner = spawn([&] {
        cmd_GlobalLock(0, "", "GlobalLock");
        cmd_GlobalLock(0, "", "GlobalLock");
        cmd_GlobalUnLock(0, "", "GlobalUnLock");  // one take left
        report(step, 0, 1);
        wait_gate(go);
        release_global_mutex_if_held();
        report(step, 0, 2);
        sleep_ms(3000);  // alive, but no longer holding it
        return 0;
    });
    ASSERT_EQ(read_records(step, 1, 5000).size(), 1u);
    pid_t early = spawn([] { return global_mutex().try_lock_for(300) ? 1 : 0; });
    EXPECT_EQ(reap({early}, 3000), std::vector<int>({0})) << "a nested take was released by one GlobalUnLock";
    open_gate(go, 1);
    ASSERT_EQ(read_records(step, 1, 5000).size(), 1u);
    pid_t late = spawn([] { return global_mutex().try_lock_for(1000) ? 0 : 1; });
    EXPECT_EQ(reap({late}, 3000), std::vector<int>({0}));
    reap({owner}, 5000);
}

TEST_F(ForkedGlobalLock, CancelEndsTheWait) {
    Pipe locked;
    pid_t holder = spawn([&] {
        cmd_GlobalLock(0, "", "GlobalLock");
        report(locked, 0, 0);
        sleep_ms(6000);
        return 0;
    });
    ASSERT_EQ(read_records(locked, 1, 5000).size(), 1u);
    pid_t waiter = spawn([] {
        std::thread stopper([] {
            sleep_ms(500);
            set_cancel(0);
        });
        const int64_t start = now_ms();
        cmd_GlobalLock(0, "", "GlobalLock");
        stopper.join();
        if (global_mutex().held_by_this_thread() != 0) return 10;
        return now_ms() - start < 2500 ? 0 : 11;
    });
    EXPECT_EQ(reap({waiter}, 4000), std::vector<int>({0}));
    ::kill(holder, SIGKILL);
    reap({holder}, 2000);
}

// ---------------------------------------------------------------------------
// GlobalVar.

class GlobalVarTable : public SyncFixture {
protected:
    void SetUp() override {
        SyncFixture::SetUp();
        ASSERT_TRUE(global_var_map());
    }
    void TearDown() override {
        global_var_unmap();
        SyncFixture::TearDown();
    }
    void set(const std::string& var, const std::string& value_literal) {
        cmd_SetGlobalVar(0, fmt("Name:\"%s\", Value:%s", var, value_literal), "SetGlobalVar");
    }
    std::string get(const std::string& var) {
        cmd_GetGlobalVar(0, fmt("Name:\"%s\"", var), "GetGlobalVar");
        return test::var("GetGlobalVar");
    }
    ValueType get_type(const std::string& var) {
        cmd_GetGlobalVar(0, fmt("Name:\"%s\"", var), "GetGlobalVar");
        const Value* v = job_slot(0)->vars.find("GetGlobalVar");
        return v ? v->type : ValueType::Undefined;
    }
};

TEST_F(GlobalVarTable, TenEntriesThenTheTableIsFull) {
    for (int i = 0; i < 10; ++i) set(fmt("V%d", i), fmt("%d", i * 10));
    EXPECT_EQ(job_slot(0)->error_code, 0);
    set("V10", "1");
    EXPECT_EQ(job_slot(0)->error_code, kErrParam);
    EXPECT_EQ(job_slot(0)->error_text, "Parameters not match spec or over limit. GlobalVar Table Full");
    EXPECT_EQ(get("V10"), "");
    // The refused write touched none of the others, and names in the table can still be written.
    EXPECT_EQ(get("V9"), "90");
    job_slot(0)->error_code = 0;
    set("V3", "\"three\"");
    EXPECT_EQ(job_slot(0)->error_code, 0);
    EXPECT_EQ(get("V3"), "three");
    EXPECT_EQ(get("V0"), "0");
}

TEST_F(GlobalVarTable, NamesAreCaseSensitive) {
    set("Count", "1");
    set("COUNT", "2");
    set("count", "3");
    EXPECT_EQ(get("Count"), "1");
    EXPECT_EQ(get("COUNT"), "2");
    EXPECT_EQ(get("count"), "3");
    EXPECT_EQ(get("cOUNT"), "");
}

TEST_F(GlobalVarTable, ValuesAreStoredAsTextAndReadBackTyped) {
    set("H", "0x1F");
    EXPECT_EQ(global_var_text("H"), "0x0000001F");
    EXPECT_EQ(get_type("H"), ValueType::Hex);
    EXPECT_EQ(get("H"), "0x1F");
    set("D", "-5");
    EXPECT_EQ(global_var_text("D"), "-5");
    EXPECT_EQ(get_type("D"), ValueType::Decimal);
    set("S", "\"hello world\"");
    EXPECT_EQ(get_type("S"), ValueType::String);
    EXPECT_EQ(get("S"), "hello world");
    set("T", "\"0x10\"");  // a string that reads as a hex literal comes back as a number
    EXPECT_EQ(get_type("T"), ValueType::Hex);
    EXPECT_EQ(get("T"), "0x10");
    set("E", "2 + 3 * 4");  // the value is an expression
    EXPECT_EQ(get("E"), "20");
    EXPECT_EQ(get_type("Unknown"), ValueType::String);
    EXPECT_EQ(get("Unknown"), "");
}

TEST_F(GlobalVarTable, LongValuesAreCutToTheField) {
    const std::string long_text(600, 'x');
    ASSERT_TRUE(global_var_write_text("Long", long_text));
    EXPECT_EQ(global_var_text("Long"), std::string(511, 'x'));
    const std::string long_name(80, 'n');
    ASSERT_TRUE(global_var_write_text(long_name, "v"));
    EXPECT_EQ(global_var_text(long_name), "v");
    EXPECT_EQ(global_var_text(std::string(63, 'n')), "v");
}

TEST_F(GlobalVarTable, OtherInstancesShareTheTableInItsLayout) {
    pid_t writer = spawn([] {
        global_var_map();
        global_var_write_text("Shared", "abc");
        global_var_unmap();
        return 0;
    });
    EXPECT_EQ(reap({writer}, 3000), std::vector<int>({0}));
    EXPECT_EQ(global_var_text("Shared"), "abc");

    // The section as another build of the program sees it: entry 0, UTF-16LE name, value at 128 bytes.
    int fd = ::shm_open(ipc_object_name("GlobalVar").c_str(), O_RDONLY, 0);
    ASSERT_GE(fd, 0);
    void* p = ::mmap(nullptr, kGlobalVarBytes, PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    ASSERT_NE(p, MAP_FAILED);
    const unsigned char* b = static_cast<const unsigned char*>(p);
    const unsigned char name[] = {'S', 0, 'h', 0, 'a', 0, 'r', 0, 'e', 0, 'd', 0, 0, 0};
    const unsigned char value[] = {'a', 0, 'b', 0, 'c', 0, 0, 0};
    EXPECT_EQ(std::memcmp(b, name, sizeof name), 0);
    EXPECT_EQ(std::memcmp(b + 128, value, sizeof value), 0);
    EXPECT_EQ(b[kGlobalVarEntryBytes], 0);  // entry 1 is empty: the table ends there
    ::munmap(p, kGlobalVarBytes);
}

TEST_F(GlobalVarTable, ContentsLastWhileAnyInstanceHasTheTableMapped) {
    global_var_write_text("Kept", "1");
    global_var_unmap();  // nobody holds the table now
    ASSERT_TRUE(global_var_map());
    EXPECT_EQ(global_var_text("Kept"), "");  // a new table, as after the last instance ended
}

TEST_F(GlobalVarTable, AccessOutsideARunMapsTheTable) {
    global_var_unmap();
    // A command typed into the main window: no run holds a mapping.
    set("Typed", "42");
    EXPECT_EQ(get("Typed"), "42");
    pid_t reader = spawn([] {
        // Another instance sees it: the typed command's mapping is still held.
        return global_var_text("Typed") == "42" ? 0 : 1;
    });
    EXPECT_EQ(reap({reader}, 3000), std::vector<int>({0}));
    ASSERT_TRUE(global_var_map());  // balanced by TearDown
}

TEST_F(GlobalVarTable, FnScriptStateDrivesIsFnScriptRunning) {
    cmd_IsFnScriptRunning(0, "", "IsFnScriptRunning");
    EXPECT_EQ(test::var("IsFnScriptRunning"), "0");
    pid_t child = spawn([] {
        set_fn_script_state(true);
        return 0;
    });
    EXPECT_EQ(reap({child}, 3000), std::vector<int>({0}));
    cmd_IsFnScriptRunning(0, "", "IsFnScriptRunning");
    EXPECT_EQ(test::var("IsFnScriptRunning"), "1");
    set_fn_script_state(false);
    cmd_IsFnScriptRunning(0, "", "IsFnScriptRunning");
    EXPECT_EQ(test::var("IsFnScriptRunning"), "0");
}

// ---------------------------------------------------------------------------
// Who may use the objects.

class SharedObjectOwnership : public SyncFixture {
protected:
    // In a child: becomes the unprivileged user "nobody" (group "nogroup", no other groups).
    static bool become_nobody() {
        const passwd* pw = ::getpwnam("nobody");
        if (!pw) return false;
        return ::setgroups(0, nullptr) == 0 && ::setresgid(pw->pw_gid, pw->pw_gid, pw->pw_gid) == 0 &&
               ::setresuid(pw->pw_uid, pw->pw_uid, pw->pw_uid) == 0;
    }
    std::string path_of(const char* base) { return "/dev/shm" + ipc_object_name(base); }

    // While another process holds the global variable table as
    // `attach_table` attached it (returning 0, else the exit code of the
    // failure), SetGlobalVar fails with an error text holding `reason`.
    void expect_set_global_var_refused(const std::function<int(SharedSegment&)>& attach_table,
                                       const std::string& reason) {
        Pipe ready, bye;
        pid_t other = spawn([&] {
            SharedSegment table;
            if (int failed = attach_table(table)) return failed;
            report(ready, 0, 0);
            wait_gate(bye);
            return 0;
        });
        ASSERT_EQ(read_records(ready, 1, 5000).size(), 1u);
        cmd_SetGlobalVar(0, "Name:\"K\", Value:1", "SetGlobalVar");
        EXPECT_EQ(job_slot(0)->error_code, kErrGeneric);
        EXPECT_NE(job_slot(0)->error_text.find(reason), std::string::npos) << job_slot(0)->error_text;
        open_gate(bye, 1);
        EXPECT_EQ(reap({other}, 3000), std::vector<int>({0}));
    }
};

constexpr const char* kInstanceObjects[] = {"GlobalVar", "GlobalMutex", "XRT_SHAREE", "SyncEvent"};

TEST_F(SharedObjectOwnership, ObjectsAreCreatedForTheOwnerOnly) {
    ASSERT_TRUE(global_var_map());
    ASSERT_TRUE(global_mutex().open());
    ASSERT_TRUE(sync_join(0));
    for (const char* base : kInstanceObjects) {
        struct stat st {};
        ASSERT_EQ(::stat(path_of(base).c_str(), &st), 0) << base;
        EXPECT_EQ(st.st_mode & 07777, 0600u) << base;
        EXPECT_EQ(st.st_uid, ::geteuid()) << base;
    }
    leave_sync_group(0);
    global_var_unmap();
}

TEST_F(SharedObjectOwnership, AnotherUserCannotOpenTruncateOrLockThem) {
    ASSERT_TRUE(global_var_map());
    ASSERT_TRUE(global_var_write_text("Secret", "s3cr3t"));
    ASSERT_TRUE(global_mutex().open());
    ASSERT_TRUE(sync_join(0));
    std::vector<std::string> paths;
    for (const char* base : kInstanceObjects) paths.push_back(path_of(base));
    pid_t other = spawn([&] {
        if (!become_nobody()) return 1;
        int refused = 0;
        for (const std::string& p : paths) {
            const int fd = ::open(p.c_str(), O_RDONLY);
            if (fd >= 0) ::close(fd);
            else ++refused;
            // Truncating to the size it has is harmless, but needs the same right as cutting it short.
            struct stat st {};
            ::stat(p.c_str(), &st);
            if (::truncate(p.c_str(), st.st_size) != 0) ++refused;
            // Nor can it take the lock that orders the instances' changes.
            const int lfd = ::open(p.c_str(), O_WRONLY);
            struct flock fl {};
            fl.l_type = F_WRLCK;
            fl.l_whence = SEEK_SET;
            fl.l_start = SharedSegment::kFirstUserRegion;
            fl.l_len = 1;
            if (lfd < 0 || ::fcntl(lfd, F_OFD_SETLK, &fl) != 0) ++refused;
            if (lfd >= 0) ::close(lfd);
        }
        return refused == static_cast<int>(3 * paths.size()) ? 0 : 10;
    });
    EXPECT_EQ(reap({other}, 5000), std::vector<int>({0}));
    // The table is intact (read in a child: a truncated section kills the reader).
    pid_t reader = spawn([] { return global_var_text("Secret") == "s3cr3t" ? 0 : 1; });
    EXPECT_EQ(reap({reader}, 3000), std::vector<int>({0}));
    leave_sync_group(0);
    global_var_unmap();
}

TEST_F(SharedObjectOwnership, ObjectOfAnotherUserIsRefused) {
    expect_set_global_var_refused(
        [](SharedSegment& table) {
            if (!become_nobody()) return 1;
            return table.attach("GlobalVar", kGlobalVarBytes) ? 0 : 2;
        },
        "another user");
}

TEST_F(SharedObjectOwnership, ObjectOfTheWrongSizeIsRefused) {
    expect_set_global_var_refused(
        [](SharedSegment& table) { return table.attach("GlobalVar", 100) ? 0 : 2; },
        "100 bytes");
}

// ---------------------------------------------------------------------------
// The stop broadcast.

class ForkedBroadcast : public SyncFixture {};

// A registered instance that reports whether its cancel flag got set within `ms`.
int listen_for(const Pipe& ready, int who, bool job_running, int ms, const Pipe* cancelled_at = nullptr) {
    register_instance();
    app().jobs[0].running = job_running;
    report(ready, who, 0);
    const int64_t end = now_ms() + ms;
    while (now_ms() < end && !cancel_requested(0)) sleep_ms(20);
    const bool cancelled = cancel_requested(0);
    if (cancelled && cancelled_at) report(*cancelled_at, who, kRelease);
    const bool logged = log_has("---- Broadcast Trigger Cancel Job ----", colour::kCyan);
    unregister_instance();
    if (cancelled != logged) return 9;
    return cancelled ? 1 : 0;
}

TEST_F(ForkedBroadcast, CancelFnScriptBroadcastsOnlyWhenTheSettingIsOn) {
    Pipe ready, gate, out;
    std::vector<pid_t> kids;
    kids.push_back(spawn([&] { return listen_for(ready, 0, true, 8000, &out); }));
    kids.push_back(spawn([&] {
        report(ready, 1, 0);
        wait_gate(gate);
        int64_t start = now_ms();
        cmd_CancelFnScript(0, "", "CancelFnScript");  // setting off: only waits
        report(out, 1, kArrive);
        if (now_ms() - start < 2900) return 10;
        broadcast_on_error() = true;
        cmd_CancelFnScript(0, "", "CancelFnScript");
        return 0;
    }));
    ASSERT_EQ(read_records(ready, 2, 5000).size(), 2u);
    open_gate(gate, 1);
    std::vector<int> codes = reap(kids, 9500);
    EXPECT_EQ(codes, std::vector<int>({1, 0}));
    std::vector<Record> recs = read_records(out, 2, 100);
    ASSERT_EQ(recs.size(), 2u);
    int64_t first_call_ended = 0, cancelled = 0;
    for (const Record& r : recs) (r.what == kArrive ? first_call_ended : cancelled) = r.at_ms;
    // The listener was stopped by the second call, not by the first.
    EXPECT_GE(cancelled, first_call_ended);
}
