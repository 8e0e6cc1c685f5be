#include "exttools/upload_settings.h"

#include <cstdlib>

#include "common/ini_file.h"
#include "common/text.h"
#include "platform/paths.h"
#include "script/app_context.h"

namespace tb {

namespace {

constexpr int kDefaultTimeoutSec = 10;
constexpr int kLongestTimeoutSec = 600;
constexpr char kBlanks[] = " \t\r\n";

int bounded_number(const std::string& text, int fallback, int low, int high) {
    if (text.empty()) return fallback;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || v < low || v > high) return fallback;
    return static_cast<int>(v);
}

}  // namespace

std::string log_server_url(const std::string& address) {
    const std::string a = trim(address);
    if (a.empty()) return {};
    const size_t sep = a.find("://");
    if (sep == std::string::npos) return "ftp://" + a;
    return to_lower(a.substr(0, sep)) + a.substr(sep);
}

std::string log_server_host(const std::string& address) {
    std::string rest = trim(address);
    const size_t sep = rest.find("://");
    if (sep != std::string::npos) rest = rest.substr(sep + 3);
    rest = rest.substr(0, rest.find('/'));
    const size_t at = rest.rfind('@');
    if (at != std::string::npos) rest = rest.substr(at + 1);
    if (!rest.empty() && rest.front() == '[') return rest.substr(1, rest.find(']') - 1);
    return rest.substr(0, rest.find(':'));
}

std::string log_server_settings_path() {
    if (const char* named = std::getenv(kLogServerIniVariable); named && *named) return named;
    const std::string work = app().work_folder;
    if (!work.empty() && file_exists(path_join(work, kLogServerIniName))) return path_join(work, kLogServerIniName);
    const std::string beside = path_join(path_folder(program_path()), kLogServerIniName);
    if (file_exists(beside)) return beside;
    return {};
}

LogServerSettings read_log_server_settings(const std::string& path) {
    LogServerSettings s;
    IniFile ini;
    if (path.empty() || !ini.load(path)) return s;
    s.path = path;
    auto value = [&](const char* key) { return trim(ini.get(kLogServerSection, key).value_or(""), kBlanks); };
    const std::string address = value("Address");
    s.server.url = log_server_url(address);
    s.server.user = value("User");
    s.server.password = value("Password");
    const int timeout_sec = bounded_number(value("TimeoutSec"), kDefaultTimeoutSec, 1, kLongestTimeoutSec);
    s.server.timeout_ms = timeout_sec * 1000;
    const std::string folder = value("Folder");
    if (!folder.empty()) s.base_folder = folder;
    while (s.base_folder.size() > 1 && s.base_folder.back() == '/') s.base_folder.pop_back();
    const std::string agent_host = value("AgentHost");
    s.agent.host = agent_host.empty() ? log_server_host(address) : agent_host;
    s.agent.port = static_cast<uint16_t>(bounded_number(value("AgentPort"), 1224, 1, 65535));
    s.agent.timeout_ms = s.server.timeout_ms;
    return s;
}

LogServerSettings deployed_log_server() { return read_log_server_settings(log_server_settings_path()); }

}  // namespace tb
