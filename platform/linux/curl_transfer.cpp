// Linux file transfers through libcurl: ftp, ftps (TLS from the start) and
// sftp. Each call is one easy handle driven by a multi handle, so that the
// caller's cancel is looked at every 100 ms whatever the server does.
#include <curl/curl.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "platform/file_transfer.h"

namespace tb {

namespace {

constexpr long kPollMs = 100;

struct EasyDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct MultiDeleter {
    void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;
using Multi = std::unique_ptr<CURLM, MultiDeleter>;
using File = std::unique_ptr<std::FILE, FileCloser>;

void init_curl_once() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

long whole_seconds(int ms) { return ms <= 0 ? 1 : (ms + 999) / 1000; }

// Each '/'-separated segment percent-encoded; empty segments dropped.
std::string escaped_path(CURL* c, const std::string& path) {
    std::string out;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) {
            char* e = curl_easy_escape(c, path.data() + start, static_cast<int>(end - start));
            if (!out.empty()) out += '/';
            out += e ? e : "";
            curl_free(e);
        }
        start = end + 1;
    }
    return out;
}

// The full URL of a remote path: below the account's home ("/~/" for sftp,
// whose paths otherwise start at the root).
std::string remote_url(CURL* c, const TransferServer& server, const std::string& path, bool folder) {
    std::string base = server.url;
    while (!base.empty() && base.back() == '/') base.pop_back();
    std::string url = base + (transfer_scheme(server.url) == "sftp" ? "/~/" : "/") + escaped_path(c, path);
    if (folder && url.back() != '/') url += '/';
    return url;
}

struct Progress {
    const TransferControl* control;
};

int on_progress(void* p, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal, curl_off_t ulnow) {
    const TransferControl& c = *static_cast<Progress*>(p)->control;
    if (c.cancelled && c.cancelled()) return 1;
    if (c.progress) {
        if (ultotal > 0 || ulnow > 0) c.progress(static_cast<uint64_t>(ulnow), static_cast<uint64_t>(ultotal));
        else c.progress(static_cast<uint64_t>(dlnow), static_cast<uint64_t>(dltotal));
    }
    return 0;
}

size_t on_write(char* data, size_t size, size_t count, void* file) {
    return std::fwrite(data, size, count, static_cast<std::FILE*>(file));
}

size_t on_read(char* data, size_t size, size_t count, void* file) {
    const size_t n = std::fread(data, size, count, static_cast<std::FILE*>(file));
    if (n == 0 && std::ferror(static_cast<std::FILE*>(file))) return CURL_READFUNC_ABORT;
    return n;
}

void set_common_options(CURL* c, const TransferServer& server, char* error_buffer, Progress* progress) {
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "ftp,ftps,sftp");
    curl_easy_setopt(c, CURLOPT_USERNAME, server.user.c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, server.password.c_str());
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(server.timeout_ms > 0 ? server.timeout_ms : 1000));
    curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, whole_seconds(server.timeout_ms));
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, whole_seconds(server.timeout_ms));
    curl_easy_setopt(c, CURLOPT_FTP_CREATE_MISSING_DIRS, static_cast<long>(CURLFTP_CREATE_DIR_RETRY));
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error_buffer);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, on_progress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, progress);
}

TransferStatus status_of(CURL* c, CURLcode code) {
    switch (code) {
        case CURLE_OK:
            return TransferStatus::Done;
        case CURLE_ABORTED_BY_CALLBACK:
            return TransferStatus::Cancelled;
        case CURLE_READ_ERROR:
        case CURLE_WRITE_ERROR:
            return TransferStatus::LocalFile;
        case CURLE_UNSUPPORTED_PROTOCOL:
            return TransferStatus::Unsupported;
        case CURLE_REMOTE_ACCESS_DENIED:
        case CURLE_UPLOAD_FAILED:
        case CURLE_REMOTE_FILE_NOT_FOUND:
        case CURLE_FTP_COULDNT_RETR_FILE:
        case CURLE_QUOTE_ERROR:
        case CURLE_REMOTE_DISK_FULL:
            return TransferStatus::Refused;
        case CURLE_LOGIN_DENIED:
            return TransferStatus::Unreachable;
        default:
            break;
    }
    curl_off_t ready = 0;  // 0 until the server was connected to, logged in to and ready to transfer
    curl_easy_getinfo(c, CURLINFO_PRETRANSFER_TIME_T, &ready);
    if (ready == 0) return TransferStatus::Unreachable;
    return code == CURLE_OPERATION_TIMEDOUT ? TransferStatus::TimedOut : TransferStatus::Refused;
}

TransferResult no_transfer_handle() {
    return {TransferStatus::Unreachable, "the transfer library cannot start a transfer"};
}

// Runs a prepared easy handle to its end, or until the caller cancels.
TransferResult perform(CURL* c, const TransferControl& control, const char* error_buffer) {
    Multi multi(curl_multi_init());
    if (!multi || curl_multi_add_handle(multi.get(), c) != CURLM_OK) return no_transfer_handle();
    CURLcode code = CURLE_OK;
    bool finished = false;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) break;
        int left = 0;
        while (CURLMsg* m = curl_multi_info_read(multi.get(), &left)) {
            if (m->msg == CURLMSG_DONE) {
                code = m->data.result;
                finished = true;
            }
        }
        if (finished || running == 0) break;
        if (control.cancelled && control.cancelled()) {
            curl_multi_remove_handle(multi.get(), c);
            return {TransferStatus::Cancelled, "cancelled"};
        }
        curl_multi_poll(multi.get(), nullptr, 0, kPollMs, nullptr);
    }
    curl_multi_remove_handle(multi.get(), c);
    TransferResult r;
    r.status = status_of(c, code);
    if (r.status != TransferStatus::Done)
        r.detail = error_buffer[0] ? std::string(error_buffer) : std::string(curl_easy_strerror(code));
    return r;
}

// One easy handle made ready for a remote path: the server's options, the
// caller's cancel and progress, and the path's URL. It holds the error text
// and progress the handle points at, so it stays where it was made.
class PreparedTransfer {
public:
    PreparedTransfer(const TransferServer& server, const std::string& remote_path, bool folder,
                     const TransferControl& control)
        : easy_(curl_easy_init()), progress_{&control} {
        if (!easy_) return;
        set_common_options(easy_.get(), server, error_, &progress_);
        curl_easy_setopt(easy_.get(), CURLOPT_URL, remote_url(easy_.get(), server, remote_path, folder).c_str());
    }
    PreparedTransfer(const PreparedTransfer&) = delete;
    PreparedTransfer& operator=(const PreparedTransfer&) = delete;

    bool ready() const { return easy_ != nullptr; }
    CURL* handle() const { return easy_.get(); }
    TransferResult run() { return perform(easy_.get(), *progress_.control, error_); }

private:
    Easy easy_;
    char error_[CURL_ERROR_SIZE] = {};
    Progress progress_;
};

class CurlTransfer : public FileTransfer {
public:
    CurlTransfer() { init_curl_once(); }

    TransferResult make_folder(const TransferServer& server, const std::string& remote_folder,
                               const TransferControl& control) override {
        PreparedTransfer t(server, remote_folder, true, control);
        if (!t.ready()) return no_transfer_handle();
        curl_easy_setopt(t.handle(), CURLOPT_NOBODY, 1L);
        return t.run();
    }

    TransferResult put(const TransferServer& server, const std::string& local_path, const std::string& remote_path,
                       const TransferControl& control) override {
        File in(std::fopen(local_path.c_str(), "rb"));
        if (!in) return {TransferStatus::LocalFile, "cannot read " + local_path};
        std::fseek(in.get(), 0, SEEK_END);
        const long size = std::ftell(in.get());
        std::rewind(in.get());
        PreparedTransfer t(server, remote_path, false, control);
        if (!t.ready()) return no_transfer_handle();
        curl_easy_setopt(t.handle(), CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(t.handle(), CURLOPT_READFUNCTION, on_read);
        curl_easy_setopt(t.handle(), CURLOPT_READDATA, in.get());
        if (size >= 0) curl_easy_setopt(t.handle(), CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
        return t.run();
    }

    TransferResult get(const TransferServer& server, const std::string& remote_path, const std::string& local_path,
                       const TransferControl& control) override {
        File out(std::fopen(local_path.c_str(), "wb"));
        if (!out) return {TransferStatus::LocalFile, "cannot write " + local_path};
        PreparedTransfer t(server, remote_path, false, control);
        if (!t.ready()) return no_transfer_handle();
        curl_easy_setopt(t.handle(), CURLOPT_WRITEFUNCTION, on_write);
        curl_easy_setopt(t.handle(), CURLOPT_WRITEDATA, out.get());
        TransferResult r = t.run();
        if (std::fflush(out.get()) != 0 && r.ok()) return {TransferStatus::LocalFile, "cannot write " + local_path};
        return r;
    }
};

}  // namespace

std::shared_ptr<FileTransfer> make_system_file_transfer() { return std::make_shared<CurlTransfer>(); }

}  // namespace tb
