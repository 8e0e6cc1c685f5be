// The log server as this lab deploys it: one settings file, "LogServer.ini",
// section [LogServer]:
//   Address    = host, host:port, or ftp:// ftps:// sftp:// URL (plain host: ftp, port 21)
//   User       = the upload account
//   Password   = its password (never written to a log or an error text)
//   Folder     = remote folder the uploads go below (default /TestLog)
//   AgentHost  = host of the agent service (default: the Address's host)
//   AgentPort  = its TCP port (default 1224)
//   TimeoutSec = connect, answer and stall time-out in seconds (default 10)
// The file used is the one the variable TAMBLOR_LOG_SERVER_INI names, else
// "LogServer.ini" of the work folder (shipped in the package), else the one
// beside the program.
#pragma once

#include <string>

#include "exttools/agent_notice.h"
#include "platform/file_transfer.h"

namespace tb {

constexpr const char* kLogServerIniName = "LogServer.ini";
constexpr const char* kLogServerSection = "LogServer";
constexpr const char* kLogServerIniVariable = "TAMBLOR_LOG_SERVER_INI";

struct LogServerSettings {
    std::string path;  // the file read (empty when none was found)
    TransferServer server;
    std::string base_folder = "/TestLog";
    AgentAddress agent;

    bool configured() const { return !server.url.empty(); }
};

// The settings file in use; empty when there is none.
std::string log_server_settings_path();

// Reads the settings from `path` (missing keys keep their defaults).
LogServerSettings read_log_server_settings(const std::string& path);

// The log server as deployed (see above).
LogServerSettings deployed_log_server();

// "ftp://host" for a plain host, the URL itself otherwise; lower-case scheme.
std::string log_server_url(const std::string& address);

// The host of an address or URL, without scheme, port and path.
std::string log_server_host(const std::string& address);

}  // namespace tb
