// Copying whole files to and from a file server (the lab's log server): an
// upload of a job's logs, a download of a tool to install.
//
// A server is named by a URL of scheme, host and optional port:
// "ftp://host:21", "ftps://host" (FTP over TLS) or "sftp://host:22". Remote
// paths are '/'-separated and relative to the account's home folder. The
// account's password is handed over in TransferServer only: no text this
// facility gives back (detail, progress) ever holds it, and it never reaches
// a command line.
//
// Which one: the one a test installed, else this system's (libcurl on Linux
// for ftp, ftps and sftp; WinINet on Windows, ftp only). Transfers always go
// to a real server, also while the disks in use are simulated.
//
// Every call gives up after `timeout_ms` without any progress (a server that
// accepts the connection and then says nothing), and within about 200 ms of
// `cancelled` turning true.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tb {

struct TransferServer {
    std::string url;       // scheme, host and port: "ftp://192.168.1.10:21"
    std::string user;
    std::string password;  // never logged, never in a detail text
    int timeout_ms = 10000;  // connecting, each answer of the server, and any stall of a transfer
};

struct TransferControl {
    // Polled while a transfer runs; true ends it with Cancelled.
    std::function<bool()> cancelled;
    // Bytes moved so far of `total` (0 when the size is not known yet).
    std::function<void(uint64_t done, uint64_t total)> progress;
};

enum class TransferStatus {
    Done,
    Unreachable,  // no connection, no greeting in time, or the login was refused
    Unsupported,  // this system's facility does not speak the URL's scheme
    LocalFile,    // the local file cannot be read or written
    Refused,      // the server refused the folder or the file
    TimedOut,     // connected, then no progress for timeout_ms
    Cancelled,
};

struct TransferResult {
    TransferStatus status = TransferStatus::Done;
    std::string detail;  // why, for a person; without the password

    bool ok() const { return status == TransferStatus::Done; }
};

class FileTransfer {
public:
    virtual ~FileTransfer() = default;
    // Makes the remote folder and every missing folder above it; also the
    // way to learn whether the server can be reached and logged in to.
    virtual TransferResult make_folder(const TransferServer& server, const std::string& remote_folder,
                                       const TransferControl& control) = 0;
    // Uploads a local file as `remote_path` (replacing one of that name),
    // making missing remote folders.
    virtual TransferResult put(const TransferServer& server, const std::string& local_path,
                               const std::string& remote_path, const TransferControl& control) = 0;
    // Downloads `remote_path` into `local_path` (created or replaced). A
    // transfer that fails part-way leaves the part that arrived.
    virtual TransferResult get(const TransferServer& server, const std::string& remote_path,
                               const std::string& local_path, const TransferControl& control) = 0;
};

// The one in use.
FileTransfer& file_transfer();
// Tests install their own; nullptr restores this system's.
void set_file_transfer(std::unique_ptr<FileTransfer> transfer);

// This system's transfers (defined in the system's own folder).
std::shared_ptr<FileTransfer> make_system_file_transfer();

// The scheme of a server URL in lower case ("ftp", "ftps", "sftp"), empty
// when the URL names none of these.
std::string transfer_scheme(const std::string& url);

}  // namespace tb
