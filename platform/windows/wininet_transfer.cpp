// Windows file transfers through WinINet's FTP calls (passive mode; ftp only:
// WinINet speaks neither FTP over TLS nor SFTP). Blocking WinINet calls are
// ended early by closing the root handle from a watcher thread when the
// caller cancels; the system's time-outs end them when the server stalls.
#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_transfer.h"
#include "platform/windows/host_text.h"

namespace tb {

namespace {

constexpr DWORD kPieceBytes = 64 * 1024;
constexpr int kWatchMs = 100;

struct ServerAddress {
    std::wstring host;
    INTERNET_PORT port = INTERNET_DEFAULT_FTP_PORT;
};

// "ftp://host[:port][/...]"; false for any other scheme.
bool parse_ftp_url(const std::string& url, ServerAddress& out) {
    if (transfer_scheme(url) != "ftp") return false;
    std::string rest = url.substr(url.find("://") + 3);
    rest = rest.substr(0, rest.find('/'));
    const size_t colon = rest.rfind(':');
    if (colon != std::string::npos && rest.find(']') == std::string::npos) {
        out.port = static_cast<INTERNET_PORT>(std::strtoul(rest.c_str() + colon + 1, nullptr, 10));
        rest = rest.substr(0, colon);
    }
    out.host = host::utf8_to_wide(rest);
    return !out.host.empty();
}

std::vector<std::wstring> path_segments(const std::string& path) {
    std::vector<std::wstring> out;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) out.push_back(host::utf8_to_wide(path.substr(start, end - start)));
        start = end + 1;
    }
    return out;
}

// The reason of the last failed WinINet call, with the server's own answer when it gave one.
std::string last_error_text() {
    const DWORD code = ::GetLastError();
    if (code == ERROR_INTERNET_EXTENDED_ERROR) {
        DWORD error = 0, size = 0;
        ::InternetGetLastResponseInfoW(&error, nullptr, &size);
        std::wstring text(size + 1, L'\0');
        if (::InternetGetLastResponseInfoW(&error, text.data(), &size)) {
            text.resize(size);
            return host::wide_to_utf8(text);
        }
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "WinINet error %lu", static_cast<unsigned long>(code));
    return buf;
}

// The handles of one transfer. When the caller cancels, a watcher closes the
// root handle, which ends every blocking call on it and its children; the
// handles are then given up rather than closed twice.
class FtpSession {
public:
    FtpSession(const TransferControl& control) : control_(control) {}
    ~FtpSession() {
        done_ = true;
        if (watcher_.joinable()) watcher_.join();
        if (fired_) return;
        if (file_) ::InternetCloseHandle(file_);
        if (connection_) ::InternetCloseHandle(connection_);
        if (root_) ::InternetCloseHandle(root_);
    }
    FtpSession(const FtpSession&) = delete;
    FtpSession& operator=(const FtpSession&) = delete;

    TransferResult connect(const TransferServer& server) {
        ServerAddress address;
        if (!parse_ftp_url(server.url, address))
            return {TransferStatus::Unsupported, "this system transfers ftp:// only: " + server.url};
        root_ = ::InternetOpenW(L"AgentName", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
        if (!root_) return {TransferStatus::Unreachable, last_error_text()};
        DWORD ms = static_cast<DWORD>(server.timeout_ms > 0 ? server.timeout_ms : 1000);
        for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                             INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_CONTROL_RECEIVE_TIMEOUT,
                             INTERNET_OPTION_CONTROL_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT,
                             INTERNET_OPTION_DATA_SEND_TIMEOUT})
            ::InternetSetOptionW(root_, option, &ms, sizeof ms);
        if (control_.cancelled) watcher_ = std::thread([this] { watch(); });
        const std::wstring user = host::utf8_to_wide(server.user);
        std::wstring password = host::utf8_to_wide(server.password);
        connection_ = ::InternetConnectW(root_, address.host.c_str(), address.port, user.c_str(), password.c_str(),
                                         INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
        ::SecureZeroMemory(password.data(), password.size() * sizeof(wchar_t));
        if (!connection_) return failure(TransferStatus::Unreachable);
        return {};
    }

    // Enters the folder, making each missing level.
    TransferResult enter_folder(const std::string& folder) {
        for (const std::wstring& level : path_segments(folder)) {
            if (::FtpSetCurrentDirectoryW(connection_, level.c_str())) continue;
            if (cancelled()) return {TransferStatus::Cancelled, "cancelled"};
            ::FtpCreateDirectoryW(connection_, level.c_str());
            if (!::FtpSetCurrentDirectoryW(connection_, level.c_str())) return failure(TransferStatus::Refused);
        }
        return {};
    }

    TransferResult open_file(const std::wstring& name, DWORD access) {
        file_ = ::FtpOpenFileW(connection_, name.c_str(), access, FTP_TRANSFER_TYPE_BINARY, 0);
        if (!file_) return failure(TransferStatus::Refused);
        return {};
    }

    TransferResult send(std::FILE* in, uint64_t total) {
        std::vector<char> piece(kPieceBytes);
        uint64_t done = 0;
        for (;;) {
            const size_t n = std::fread(piece.data(), 1, piece.size(), in);
            if (n == 0) break;
            DWORD written = 0;
            if (!::InternetWriteFile(file_, piece.data(), static_cast<DWORD>(n), &written) || written != n)
                return failure(TransferStatus::Refused);
            done += n;
            if (control_.progress) control_.progress(done, total);
        }
        if (std::ferror(in)) return {TransferStatus::LocalFile, "the local file cannot be read"};
        if (!::InternetCloseHandle(file_)) {
            file_ = nullptr;
            return failure(TransferStatus::Refused);
        }
        file_ = nullptr;
        return {};
    }

    TransferResult receive(std::FILE* out) {
        DWORD high = 0;
        const DWORD low = ::FtpGetFileSize(file_, &high);
        const uint64_t total = low == INVALID_FILE_SIZE ? 0 : (static_cast<uint64_t>(high) << 32) | low;
        std::vector<char> piece(kPieceBytes);
        uint64_t done = 0;
        for (;;) {
            DWORD n = 0;
            if (!::InternetReadFile(file_, piece.data(), kPieceBytes, &n)) return failure(TransferStatus::Refused);
            if (n == 0) break;
            if (std::fwrite(piece.data(), 1, n, out) != n) return {TransferStatus::LocalFile, "the local file cannot be written"};
            done += n;
            if (control_.progress) control_.progress(done, total);
        }
        return {};
    }

private:
    bool cancelled() const { return fired_ || (control_.cancelled && control_.cancelled()); }

    TransferResult failure(TransferStatus status) {
        if (cancelled()) return {TransferStatus::Cancelled, "cancelled"};
        if (::GetLastError() == ERROR_INTERNET_TIMEOUT && status == TransferStatus::Refused)
            status = TransferStatus::TimedOut;
        return {status, last_error_text()};
    }

    void watch() {
        while (!done_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kWatchMs));
            if (!done_ && control_.cancelled()) {
                fired_ = true;
                ::InternetCloseHandle(root_);
                return;
            }
        }
    }

    const TransferControl& control_;
    HINTERNET root_ = nullptr;
    HINTERNET connection_ = nullptr;
    HINTERNET file_ = nullptr;
    std::thread watcher_;
    std::atomic<bool> done_{false};
    std::atomic<bool> fired_{false};
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

std::FILE* open_local(const std::string& path, const wchar_t* mode) {
    return ::_wfopen(host::utf8_to_wide(path).c_str(), mode);
}

std::string folder_of(const std::string& remote_path) {
    const size_t slash = remote_path.rfind('/');
    return slash == std::string::npos ? std::string() : remote_path.substr(0, slash);
}

std::wstring name_of(const std::string& remote_path) {
    const size_t slash = remote_path.rfind('/');
    return host::utf8_to_wide(slash == std::string::npos ? remote_path : remote_path.substr(slash + 1));
}

class WinInetTransfer : public FileTransfer {
public:
    TransferResult make_folder(const TransferServer& server, const std::string& remote_folder,
                               const TransferControl& control) override {
        FtpSession s(control);
        TransferResult r = s.connect(server);
        if (!r.ok()) return r;
        return s.enter_folder(remote_folder);
    }

    TransferResult put(const TransferServer& server, const std::string& local_path, const std::string& remote_path,
                       const TransferControl& control) override {
        std::unique_ptr<std::FILE, FileCloser> in(open_local(local_path, L"rb"));
        if (!in) return {TransferStatus::LocalFile, "cannot read " + local_path};
        std::fseek(in.get(), 0, SEEK_END);
        const long size = std::ftell(in.get());
        std::rewind(in.get());
        FtpSession s(control);
        TransferResult r = s.connect(server);
        if (r.ok()) r = s.enter_folder(folder_of(remote_path));
        if (r.ok()) r = s.open_file(name_of(remote_path), GENERIC_WRITE);
        if (r.ok()) r = s.send(in.get(), size > 0 ? static_cast<uint64_t>(size) : 0);
        return r;
    }

    TransferResult get(const TransferServer& server, const std::string& remote_path, const std::string& local_path,
                       const TransferControl& control) override {
        std::unique_ptr<std::FILE, FileCloser> out(open_local(local_path, L"wb"));
        if (!out) return {TransferStatus::LocalFile, "cannot write " + local_path};
        FtpSession s(control);
        TransferResult r = s.connect(server);
        if (r.ok()) r = s.enter_folder(folder_of(remote_path));
        if (r.ok()) r = s.open_file(name_of(remote_path), GENERIC_READ);
        if (r.ok()) r = s.receive(out.get());
        return r;
    }
};

}  // namespace

std::shared_ptr<FileTransfer> make_system_file_transfer() { return std::make_shared<WinInetTransfer>(); }

}  // namespace tb
