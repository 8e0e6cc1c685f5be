// tamblor-viewer: a stand-in for the log viewer, enough to try the viewer
// commands by hand and in tests. It keeps the exchange section open, prints
// every command a job hands it, and answers every command a job waits on.
//   tamblor-viewer [--id TEXT] [--answer TEXT] [--seconds N]
// It answers "GetViewID" with its identifier (default "tamblor-viewer-<pid>"),
// and any other command with --answer's text (default "Done:<command>").
// It runs until --seconds have passed (default: until it is stopped).
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "exttools/viewer_commands.h"
#include "exttools/viewer_notice.h"
#include "exttools/viewer_section.h"
#include "platform/host/program_arguments.h"
#include "platform/process_identity.h"
#include "platform/stop_request.h"

namespace {

constexpr int kLookMs = 200;

constexpr const char* kUsage = "usage: tamblor-viewer [--id TEXT] [--answer TEXT] [--seconds N]\n";

struct Options {
    std::string id;
    std::string answer;
    bool fixed_answer = false;
    long seconds = 0;  // 0: until stopped
};

bool parse(const std::vector<std::string>& args, Options& o) {
    o.id = "tamblor-viewer-" + std::to_string(tb::current_process_id());
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (i + 1 >= args.size()) return false;
        if (a == "--id") o.id = args[++i];
        else if (a == "--answer") {
            o.answer = args[++i];
            o.fixed_answer = true;
        } else if (a == "--seconds") o.seconds = std::strtol(args[++i].c_str(), nullptr, 10);
        else return false;
    }
    return true;
}

void say(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

std::string answer_for(const Options& o, const std::string& command) {
    if (command == tb::kViewerIdQuestion) return o.id;
    return o.fixed_answer ? o.answer : "Done:" + command;
}

// Takes a handed-over command (the field is emptied, so each is taken once).
void take_sent(tb::ViewerSection& section) {
    const std::string sent = section.read(tb::ViewerField::Sent);
    if (sent.empty()) return;
    section.write(tb::ViewerField::Sent, "");
    say("sent: " + sent);
}

// Answers a command waited on: the answer first, then the command emptied.
void answer_awaited(tb::ViewerSection& section, const Options& o) {
    const std::string asked = section.read(tb::ViewerField::Awaited);
    if (asked.empty()) return;
    const std::string answer = answer_for(o, asked);
    section.write(tb::ViewerField::Answer, answer);
    section.write(tb::ViewerField::Awaited, "");
    say("asked: " + asked + " -> " + answer);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args = tb::host::program_arguments(argc, argv);
    Options o;
    if (!parse(args, o)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    tb::ViewerSection section;
    tb::ViewerNoticeWatch notices;
    if (!section.open() || !notices.open()) {
        std::fprintf(stderr, "tamblor-viewer: cannot open the exchange: %s%s\n", section.error().c_str(),
                     notices.error().c_str());
        return 1;
    }
    std::atomic<bool> stop{false};
    tb::watch_stop_requests(&stop);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(o.seconds);
    say("viewer ready: " + o.id);
    while (!stop.load() && (o.seconds == 0 || std::chrono::steady_clock::now() < until)) {
        // A notice wakes it at once; the fields are looked at anyway now and then.
        notices.wait(kLookMs);
        take_sent(section);
        answer_awaited(section, o);
    }
    say("viewer ends");
    return 0;
}
