#include "platform/file_transfer.h"

#include <mutex>

namespace tb {

namespace {

struct Holder {
    std::mutex lock;
    std::shared_ptr<FileTransfer> installed;
    std::shared_ptr<FileTransfer> system;
};

Holder& holder() {
    static Holder h;
    return h;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

FileTransfer& file_transfer() {
    Holder& h = holder();
    std::lock_guard hold(h.lock);
    if (h.installed) return *h.installed;
    if (!h.system) h.system = make_system_file_transfer();
    return *h.system;
}

void set_file_transfer(std::unique_ptr<FileTransfer> transfer) {
    Holder& h = holder();
    std::lock_guard hold(h.lock);
    h.installed = std::move(transfer);
}

std::string transfer_scheme(const std::string& url) {
    const size_t end = url.find("://");
    if (end == std::string::npos) return {};
    std::string scheme;
    for (size_t i = 0; i < end; ++i) scheme += lower(url[i]);
    if (scheme == "ftp" || scheme == "ftps" || scheme == "sftp") return scheme;
    return {};
}

}  // namespace tb
