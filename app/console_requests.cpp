#include "app/console_requests.h"

#include <cstdio>

#include "app/process_commands.h"
#include "app/usage_text.h"
#include "common/format.h"
#include "common/text.h"
#include "disk/disk_commands.h"
#include "script/app_context.h"
#include "script/run_job.h"

namespace tb {


ConsoleRequest find_console_request(const std::string& sub_params) {
    if (ifind(sub_params, "--list$") != std::string::npos) return ConsoleRequest::List;
    if (ifind(sub_params, "--listslave$") != std::string::npos) return ConsoleRequest::ListSlave;
    if (ifind(sub_params, "--help$") != std::string::npos || ifind(sub_params, "--qzhelp$") != std::string::npos)
        return ConsoleRequest::Help;
    if (ifind(sub_params, "--version$") != std::string::npos || ifind(sub_params, "--ver$") != std::string::npos)
        return ConsoleRequest::Version;
    return ConsoleRequest::None;
}

bool console_modifier(const std::string& sub_params) { return sub_params.find("1$") != std::string::npos; }

std::string listing_arguments(bool slave, bool column, const std::string& target) {
    return fmt("ShowVolumn:FALSE, Column:%s, Filter:\"%s\", Master:%s ", column ? "TRUE" : "FALSE", target,
               slave ? "FALSE" : "TRUE");
}

std::string version_text() {
    const AppContext& a = app();
    std::string text = fmt("%s %50s\n", a.caption, "");
    if (a.debug_level == 1 || a.debug_level == 2) text += fmt("Kernel: %s-%s\n", kProductVersion, kProductBuild);
    if (a.logo) text += "Built with the Tamblor test kernel for the maker's SSD controllers.\n";
    return text;
}

bool serve_console_request() {
    AppContext& a = app();
    ConsoleRequest request = find_console_request(a.sub_params);
    switch (request) {
        case ConsoleRequest::None:
            return false;
        case ConsoleRequest::List:
        case ConsoleRequest::ListSlave: {
            std::string args =
                listing_arguments(request == ConsoleRequest::ListSlave, console_modifier(a.sub_params), a.target);
            cmd_DiskList(0, args, "DiskList");
            return true;
        }
        case ConsoleRequest::Help:
            // A package without a help file still answers with the program's own help.
            if (!write_help(0)) {
                std::fputs(builtin_help_text().c_str(), a.console);
                std::fflush(a.console);
            }
            return true;
        case ConsoleRequest::Version:
            std::fputs(version_text().c_str(), a.console);
            std::fflush(a.console);
            return true;
    }
    return false;
}

}  // namespace tb
