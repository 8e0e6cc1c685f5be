#include "app/start_up.h"

#include <cstdio>

#include "app/command_line.h"
#include "app/package_filter.h"
#include "common/format.h"
#include "common/text.h"
#include "disk/target_select.h"
#include "platform/autostart.h"
#include "platform/child_process.h"
#include "platform/paths.h"
#include "script/app_context.h"

namespace tb {

namespace {

std::string unquote(std::string v) {
    v = trim(v);
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    return v;
}

}  // namespace

StartOptions split_start_options(int argc, char** argv) {
    StartOptions o;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--sim" || arg.rfind("--sim=", 0) == 0) {
            o.machine_options.push_back(arg);
            o.linux_disks = o.windows_disks = false;
            o.sim_config = arg.size() > 6 ? arg.substr(6) : std::string();
            continue;
        }
        if (arg == "--run-autostart") {
            o.run_autostart = true;
            continue;
        }
        if (arg == "--linux" || arg == "--windows") {
            o.machine_options.push_back(arg);
            o.linux_disks = arg == "--linux";
            o.windows_disks = !o.linux_disks;
            continue;
        }
        if ((iequals(arg, "SCRIPT:") || iequals(arg, "SCRIPT:,")) && i + 1 < argc) arg = "SCRIPT:" + std::string(argv[++i]);
        std::string plain = arg;
        std::erase(plain, ',');
        if (istarts_with(plain, "SCRIPT:")) o.script = unquote(plain.substr(7));
        if (istarts_with(plain, "SUBBASE:")) o.sub_base = unquote(plain.substr(8));
        o.words.push_back(arg);
    }
    return o;
}

int run_autostart_entries() {
    std::vector<ChildProcess> children;
    for (const auto& [name, line] : autorun_values()) {
        std::vector<std::string> argv = split_command_line(line);
        if (argv.empty()) continue;
        ChildProcess child;
        if (child.start(argv, path_folder(argv[0]))) {
            std::printf("%s: started %s\n", name.c_str(), line.c_str());
            children.push_back(std::move(child));
        } else {
            std::fprintf(stderr, "%s: cannot start %s\n", name.c_str(), line.c_str());
        }
    }
    std::fflush(stdout);
    for (auto& c : children)
        while (!c.wait_for(1000)) {
        }
    return 0;
}

void apply_target_rules(const std::string& soc_id, const std::string& no_disk_cmd) {
    AppContext& a = app();
    if (icontains(a.target, "\\\\.\\ALL\\")) {
        a.sub_params += fmt("%sInit_AllFilter=%s$", "", a.target);
        if (a.console_run()) a.target = "\\\\.\\COMBOdisk1";
    }
    if (iequals(soc_id, "_WithOutDrv") || no_disk_command_requested(no_disk_cmd, a.sub_params)) {
        DiskRestriction r = disk_restriction();
        r.model_filter = "**";
        set_disk_restriction(r);
        if (a.console_run()) a.target = "\\\\.\\COMBOdisk1";
    }
}

bool remote_shell_in(const std::vector<std::string>& parent_names) {
    for (const auto& n : parent_names)
        if (icontains(n, "sshd") || icontains(n, "OpenSSH")) return true;
    return false;
}

bool started_from_remote_shell() { return remote_shell_in(parent_process_names(3)); }

bool select_start_target() {
    AppContext& a = app();
    if (!a.target.empty()) return select_target(a.target);
    select_default_target();
    return true;
}

}  // namespace tb
