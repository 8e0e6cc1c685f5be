// Fetching a file from the lab's log server: the transfer the tool
// installer needs. The default fetches from the deployed log server
// (LogServer.ini: its address, account and time-out) through the system's
// file transfers; the installer only names the remote path.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tb {

// Called as the transfer goes on: bytes done and the total (0 when unknown).
using DownloadProgress = std::function<void(uint64_t done, uint64_t total)>;
// Polled during the transfer; true ends it early (the job was cancelled).
using DownloadCancel = std::function<bool()>;

class DownloadSource {
public:
    virtual ~DownloadSource() = default;
    // Copies `remote` (a path on the server) into the file `local`, which it
    // creates or empties. False with `problem` set when it could not be had;
    // a partial file may then be left for the caller to remove.
    virtual bool fetch(const std::string& remote, const std::string& local, const DownloadProgress& progress,
                       const DownloadCancel& cancelled, std::string& problem) = 0;
};

DownloadSource& download_source();
// nullptr goes back to the default (which refuses every transfer while no
// log server is set up).
void set_download_source(std::unique_ptr<DownloadSource> transfer);

}  // namespace tb
