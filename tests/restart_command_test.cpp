// PCReBoot against a recording stand-in of the machine's restart: what it
// registers for the next start (exactly one registration, the state files),
// what it asks the machine to do, the wake-up service's -80 (no host, a
// service that never answers or hangs up, counted attempts), a refused
// restart that leaves nothing behind, and a delayed restart cancelled in time.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <list>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "disk/disk_record.h"
#include "disk/refind.h"
#include "platform/autostart.h"
#include "platform/paths.h"
#include "platform/system_mutex.h"
#include "platform/system_restart.h"
#include "platform/tcp_connection.h"
#include "power/pc_reboot.h"
#include "power/reboot_continuation.h"
#include "script/app_context.h"
#include "script/fn_script.h"
#include "script/job_slot.h"
#include "script/job_tasks.h"
#include "script/run_resume.h"
#include "script/sync_commands.h"
#include "script/state_files.h"
#include "tests/scoped_environment.h"
#include "tests/test_support.h"

using namespace tb;

namespace {

struct RestartCall {
    bool abrupt = false;
    MachineAction action = MachineAction::Restart;
    bool forced = false;
};

// Records what it was asked; accepts, or refuses with a set outcome.
class RecordingRestart final : public SystemRestart {
public:
    RecordingRestart(std::vector<RestartCall>* calls, std::optional<RestartOutcome> refusal)
        : calls_(calls), refusal_(std::move(refusal)) {}
    RestartOutcome orderly(MachineAction action, bool forced) override { return record({false, action, forced}); }
    RestartOutcome abrupt(MachineAction action) override { return record({true, action, false}); }

private:
    RestartOutcome record(RestartCall c) {
        calls_->push_back(c);
        return refusal_ ? *refusal_ : RestartOutcome::ok();
    }
    std::vector<RestartCall>* calls_;
    std::optional<RestartOutcome> refusal_;
};

class PcReboot : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = test::fresh_slot();
        const auto now = std::chrono::system_clock::now().time_since_epoch().count();
        startup_store_.emplace(folder_);
        temp_ = folder_ + "/tmp";
        std::filesystem::create_directories(fs_path(temp_));
        temp_folder_.emplace(fs_path(temp_));
        // The restart mutex of this test alone.
        env_.emplace_back("TAMBLOR_IPC_NAMESPACE", "pcreboot-" + std::to_string(now));
        app().program_path = "/opt/tamblor/tamblor";
        job_slot(0)->script_path = "/w/job.scpt";
        instance_options().clear();
        restart_counters(0) = {};
        ASSERT_TRUE(parse_location_text("17-2-3-4-1-10", current_target()));
        install();
        pc_reboot_wake_timing() = quick_timing();
    }
    void TearDown() override {
        end_job_tasks(0);
        for (const auto& [name, line] : autorun_values()) remove_autorun_value(name);
        set_system_restart(nullptr);
        pc_reboot_wake_timing() = WakeTiming{};
        env_.clear();
        temp_folder_.reset();
        startup_store_.reset();
    }
    void install(std::optional<RestartOutcome> refusal = std::nullopt) {
        set_system_restart(std::make_unique<RecordingRestart>(&calls_, std::move(refusal)));
    }
    static WakeTiming quick_timing() {
        WakeTiming t;
        t.pause_ms = 20;
        t.connect_timeout_ms = 1000;
        t.reply_timeout_ms = 200;
        t.settle_ms = 0;
        return t;
    }
    bool state_file(uint32_t frame, const char* name) const {
        return file_exists(state_file_path(state_folder(), frame, name));
    }

    std::string folder_, temp_;
    std::optional<test::ScopedStartupStore> startup_store_;
    std::optional<test::ScopedTempFolder> temp_folder_;
    std::list<test::ScopedVariable> env_;
    std::vector<RestartCall> calls_;
};

// A service on this machine that takes connections and, per connection,
// replies, hangs up or says nothing; it keeps what it was sent.
class FakeWakeService {
public:
    enum class Manner { Reply, HangUp, Silent };
    explicit FakeWakeService(Manner manner) : manner_(manner) {
        std::string error;
        listener_ = tcp_listen_loopback(error);
        if (!listener_) return;
        thread_ = std::thread([this] { serve(); });
    }
    ~FakeWakeService() {
        done_ = true;
        if (thread_.joinable()) thread_.join();
    }
    bool listening() const { return listener_ != nullptr; }
    std::string address() const { return "127.0.0.1:" + std::to_string(listener_->port()); }
    int connections() const { return connections_; }
    std::vector<uint8_t> first_request() {
        std::lock_guard hold(lock_);
        return first_request_;
    }

private:
    void serve() {
        std::vector<std::unique_ptr<TcpConnection>> held;  // silent ones stay open
        while (!done_) {
            auto c = listener_->accept(50);
            if (!c) continue;
            ++connections_;
            std::vector<uint8_t> request;
            std::vector<uint8_t> chunk(2048);
            while (request.size() < kWakeRequestSize) {
                int n = c->receive(chunk, 1000);
                if (n <= 0) break;
                request.insert(request.end(), chunk.begin(), chunk.begin() + n);
            }
            {
                std::lock_guard hold(lock_);
                if (first_request_.empty()) first_request_ = request;
            }
            if (manner_ == Manner::Reply) {
                const uint8_t ok[4] = {'O', 'K', 0, 0};
                c->send_all(ok);
            } else if (manner_ == Manner::Silent) {
                held.push_back(std::move(c));
            }
        }
    }
    Manner manner_;
    std::unique_ptr<TcpListener> listener_;
    std::thread thread_;
    std::atomic<bool> done_{false};
    std::atomic<int> connections_{0};
    std::mutex lock_;
    std::vector<uint8_t> first_request_;
};

uint32_t u32_at(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

}  // namespace

TEST_F(PcReboot, RestartRegistersExactlyOneContinuationAndStopsTheScript) {
    set_autorun_value("AutoRunOnStartup", "\"/opt/tamblor/tamblor\" SCRIPT:\"/w/job.scpt\", DRIVE:\"x\", AUTOCLOSE:0");
    test::run("Keep = 41;");
    test::run("PCReBoot( PowerAction:1, BootContinue:TRUE );");
    auto values = autorun_values();
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].first, "Tamblor_Reboot1");
    EXPECT_EQ(values[0].second, "\"/opt/tamblor/tamblor\" SCRIPT:\"/w/job.scpt\", DRVHW:\"17-2-3-4-1-10\", "
                                "FRAME:1/0, REBOOTSYNC:0, ERRSTOP:0");
    ASSERT_EQ(calls_.size(), 1u);
    EXPECT_FALSE(calls_[0].abrupt);
    EXPECT_EQ(calls_[0].action, MachineAction::Restart);
    EXPECT_EQ(test::var("_ErrorCheck"), "5");
    for (const char* f : {"VarList.sct", "MainList.sct", "SubList.sct", "LoopList.sct", "ScriptInfo.sct"})
        EXPECT_TRUE(state_file(1, f)) << f;
    std::string error;
    auto saved = load_run_state(state_folder(), 1, error);
    ASSERT_TRUE(saved) << error;
    ASSERT_NE(saved->vars.find("Keep"), nullptr);
    EXPECT_EQ(saved->vars.find("Keep")->num, 41);
    EXPECT_EQ(saved->vars.find("_ErrorCheck")->num, 1);  // saved before the script was stopped
    EXPECT_EQ(saved->info.reboot_count, 1u);
}

TEST_F(PcReboot, EachFurtherRestartReplacesTheRegistrationItCameFrom) {
    // The state of a run that was restarted once already, as the next start leaves it.
    restart_counters(0) = {1, 0};
    test::run("PCReBoot( PowerAction:1 );");
    auto values = autorun_values();
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].first, "Tamblor_Reboot2");
    EXPECT_NE(values[0].second.find("FRAME:2/0"), std::string::npos) << values[0].second;
    EXPECT_TRUE(state_file(2, "ScriptInfo.sct"));
    EXPECT_FALSE(state_file(1, "ScriptInfo.sct"));
}

TEST_F(PcReboot, MachineOptionsAndTheErrorStopReachTheNextStart) {
    // A relative machine file would be looked for in the folder the next start runs from.
    instance_options() = {"--sim=machine file.ini"};
    broadcast_on_error() = true;
    test::run("PCReBoot( PowerAction:1 );");
    instance_options().clear();
    broadcast_on_error() = false;
    auto values = autorun_values();
    ASSERT_EQ(values.size(), 1u);
    const std::string expected_option = "\"--sim=" + absolute_path("machine file.ini") + "\"";
    EXPECT_EQ(values[0].second.rfind("\"/opt/tamblor/tamblor\" " + expected_option + " SCRIPT:", 0), 0u)
        << values[0].second;
    EXPECT_NE(values[0].second.find(", ERRSTOP:1"), std::string::npos) << values[0].second;
}

TEST_F(PcReboot, WithoutBootContinueNothingIsRegistered) {
    test::run("PCReBoot( PowerAction:1, BootContinue:FALSE );");
    EXPECT_TRUE(autorun_values().empty());
    EXPECT_FALSE(state_file(1, "ScriptInfo.sct"));
    ASSERT_EQ(calls_.size(), 1u);
    EXPECT_EQ(test::var("_ErrorCheck"), "5");
}

TEST_F(PcReboot, SporAsksForTheAbruptFormAndPowerActionZeroForAForcedPowerOff) {
    test::run("PCReBoot( PowerAction:1, SPOR:TRUE );");
    ASSERT_EQ(calls_.size(), 1u);
    EXPECT_TRUE(calls_[0].abrupt);
    EXPECT_EQ(calls_[0].action, MachineAction::Restart);

    test::fresh_slot();
    test::run("PCReBoot( PowerAction:0, SPOR:FALSE, BootContinue:TRUE );");
    ASSERT_EQ(calls_.size(), 2u);
    EXPECT_FALSE(calls_[1].abrupt);
    EXPECT_EQ(calls_[1].action, MachineAction::PowerOff);
    EXPECT_TRUE(calls_[1].forced);
}

TEST_F(PcReboot, ARefusedRestartRaisesItsErrorAndTakesTheRegistrationBack) {
    install(RestartOutcome::refused(-255, "Load Kernel Driver Fail"));
    test::run("PCReBoot( PowerAction:1, SPOR:TRUE );");
    EXPECT_EQ(job_slot(0)->error_code, -255);
    EXPECT_NE(test::console_output().find("Load Kernel Driver Fail"), std::string::npos) << test::console_output();
    EXPECT_EQ(test::var("_ErrorCheck"), "3");
    EXPECT_TRUE(autorun_values().empty());
    EXPECT_FALSE(state_file(1, "ScriptInfo.sct"));
    EXPECT_FALSE(state_file(1, "VarList.sct"));
    EXPECT_EQ(restart_counters(0).count, 0u);
}

TEST_F(PcReboot, PowerOffWithoutAWakeUpServiceEndsWithMinus80AndDoesNothing) {
    test::run("PCReBoot( PowerAction:2 );");
    EXPECT_EQ(job_slot(0)->error_code, -80);
    EXPECT_TRUE(calls_.empty());
    EXPECT_TRUE(autorun_values().empty());
}

TEST_F(PcReboot, AServiceThatNeverAnswersOrHangsUpIsTriedSixTimesThenMinus80) {
    for (auto manner : {FakeWakeService::Manner::Silent, FakeWakeService::Manner::HangUp}) {
        test::fresh_slot();
        FakeWakeService service(manner);
        ASSERT_TRUE(service.listening());
        app().wake_service_host = service.address();
        test::run("PCReBoot( PowerAction:2 );");
        EXPECT_EQ(job_slot(0)->error_code, -80);
        EXPECT_EQ(service.connections(), 6);  // the first attempt and five retries
        EXPECT_TRUE(calls_.empty());
        EXPECT_TRUE(autorun_values().empty());
    }
}

TEST_F(PcReboot, AnAnsweringServiceGetsTheRequestAndThePcPowersOff) {
    FakeWakeService service(FakeWakeService::Manner::Reply);
    ASSERT_TRUE(service.listening());
    app().wake_service_host = service.address();
    test::run("PCReBoot( PowerAction:2 );");
    EXPECT_EQ(job_slot(0)->error_code, 0);
    EXPECT_EQ(service.connections(), 1);
    std::vector<uint8_t> request = service.first_request();
    ASSERT_EQ(request.size(), 1020u);
    EXPECT_EQ(u32_at(request, 0), 64003u);
    EXPECT_EQ(u32_at(request, 4), 60000u);
    EXPECT_LE(u32_at(request, 8), 16u);  // the adapter's address length
    ASSERT_EQ(calls_.size(), 1u);
    EXPECT_EQ(calls_[0].action, MachineAction::PowerOff);
    EXPECT_EQ(autorun_values().size(), 1u);
}

TEST_F(PcReboot, WakeEndpointSettings) {
    EXPECT_FALSE(wake_endpoint("").has_value());
    EXPECT_EQ(wake_endpoint("logserver")->port, 1224);
    EXPECT_EQ(wake_endpoint("10.0.0.5:4000")->port, 4000);
    EXPECT_EQ(wake_endpoint("10.0.0.5:4000")->host, "10.0.0.5");
    EXPECT_FALSE(wake_endpoint("host:0").has_value());
    EXPECT_FALSE(wake_endpoint("host:70000").has_value());
    EXPECT_FALSE(wake_endpoint("host:x").has_value());
}

TEST_F(PcReboot, ADelayedRestartCancelledDuringTheCountDownNeverHappens) {
    const auto start = std::chrono::steady_clock::now();
    test::run("PCReBoot( DelayRunSec:3, PowerAction:1 );");
    const auto returned = std::chrono::steady_clock::now() - start;
    EXPECT_GE(returned, std::chrono::milliseconds(900));
    EXPECT_LT(returned, std::chrono::milliseconds(2500));
    EXPECT_NE(test::console_output().find("Wait 3 Sec for PC PowerOff..."), std::string::npos);
    EXPECT_EQ(test::var("_ErrorCheck"), "1");  // the script goes on meanwhile
    set_cancel(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    EXPECT_TRUE(calls_.empty());
    EXPECT_TRUE(autorun_values().empty());
    EXPECT_FALSE(state_file(1, "ScriptInfo.sct"));
}

TEST_F(PcReboot, ADelayedRestartWhoseJobEndsNeverHappens) {
    test::run("PCReBoot( DelayRunSec:2, PowerAction:1 );");
    end_job_tasks(0);  // the job ends
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_TRUE(calls_.empty());
    EXPECT_TRUE(autorun_values().empty());
}

TEST_F(PcReboot, ADelayedRestartHappensAtZeroAndStopsTheJob) {
    test::run("PCReBoot( DelayRunSec:1, PowerAction:1 );");
    for (int i = 0; i < 50 && calls_.empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(calls_.size(), 1u);
    EXPECT_TRUE(cancel_requested(0));
    EXPECT_EQ(autorun_values().size(), 1u);
}

TEST_F(PcReboot, AnotherInstanceAlreadyRestartingKeepsThisOneFromRestartingAgain) {
    // Another instance holds the restart mutex (a thread of its own owns it).
    std::atomic<bool> held{false}, release{false};
    std::thread other([&] {
        SystemMutex m;
        if (m.open(kRebootMutexName) && m.take(1000) == SystemMutex::Take::Taken) {
            held = true;
            while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            m.give();
        }
        held = true;
    });
    while (!held) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    test::run("PCReBoot( PowerAction:1 );");
    release = true;
    other.join();
    EXPECT_TRUE(calls_.empty());
    EXPECT_EQ(autorun_values().size(), 1u);  // this script still goes on after the restart
    EXPECT_EQ(test::var("_ErrorCheck"), "5");
}
