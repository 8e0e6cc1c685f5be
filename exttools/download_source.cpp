#include "exttools/download_source.h"

#include <mutex>

#include "exttools/upload_settings.h"
#include "platform/file_transfer.h"

namespace tb {

namespace {

// The deployed log server (LogServer.ini), with its account.
class LogServerDownload final : public DownloadSource {
public:
    bool fetch(const std::string& remote, const std::string& local, const DownloadProgress& progress,
               const DownloadCancel& cancelled, std::string& problem) override {
        const LogServerSettings settings = deployed_log_server();
        if (!settings.configured()) {
            problem = "no log server is set up to fetch " + remote;
            return false;
        }
        TransferControl control;
        control.cancelled = cancelled;
        control.progress = progress;
        const TransferResult r = file_transfer().get(settings.server, remote, local, control);
        if (!r.ok()) problem = r.detail.empty() ? "cannot fetch " + remote : r.detail;
        return r.ok();
    }
};

std::mutex g_lock;
std::shared_ptr<DownloadSource> g_installed;

}  // namespace

DownloadSource& download_source() {
    static LogServerDownload fallback;
    std::lock_guard<std::mutex> hold(g_lock);
    return g_installed ? *g_installed : fallback;
}

void set_download_source(std::unique_ptr<DownloadSource> transfer) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_installed = std::move(transfer);
}

}  // namespace tb
