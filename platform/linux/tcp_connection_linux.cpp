// TCP over POSIX sockets. The adapter's hardware address is that of the
// interface holding the connection's local address (getifaddrs).
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/format.h"
#include "platform/linux/unique_fd.h"
#include "platform/tcp_connection.h"

namespace tb {

using linuxdisk::UniqueFd;

namespace {

bool wait_for(int fd, short events, int timeout_ms) {
    pollfd p{fd, events, 0};
    int r;
    while ((r = ::poll(&p, 1, timeout_ms)) < 0 && errno == EINTR) {
    }
    return r > 0;
}

// The name of the interface that holds `local`, or "".
std::string interface_of(const sockaddr_in& local) {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return {};
    std::string name;
    for (ifaddrs* a = list; a; a = a->ifa_next)
        if (a->ifa_addr && a->ifa_addr->sa_family == AF_INET &&
            reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr == local.sin_addr.s_addr) {
            name = a->ifa_name;
            break;
        }
    ::freeifaddrs(list);
    return name;
}

std::vector<uint8_t> hardware_address_of(const std::string& interface) {
    ifaddrs* list = nullptr;
    if (interface.empty() || ::getifaddrs(&list) != 0) return {};
    std::vector<uint8_t> mac;
    for (ifaddrs* a = list; a; a = a->ifa_next)
        if (a->ifa_addr && a->ifa_addr->sa_family == AF_PACKET && interface == a->ifa_name) {
            auto* ll = reinterpret_cast<sockaddr_ll*>(a->ifa_addr);
            mac.assign(ll->sll_addr, ll->sll_addr + std::min<size_t>(ll->sll_halen, sizeof ll->sll_addr));
            break;
        }
    ::freeifaddrs(list);
    return mac;
}

class PosixConnection final : public TcpConnection {
public:
    explicit PosixConnection(UniqueFd fd) : fd_(std::move(fd)) {}

    bool send_all(std::span<const uint8_t> bytes) override {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::send(fd_.get(), bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && wait_for(fd_.get(), POLLOUT, 10000)) continue;
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }

    int receive(std::span<uint8_t> into, int timeout_ms) override {
        if (!wait_for(fd_.get(), POLLIN, timeout_ms)) return -1;
        ssize_t n;
        while ((n = ::recv(fd_.get(), into.data(), into.size(), 0)) < 0 && errno == EINTR) {
        }
        return n < 0 ? -1 : static_cast<int>(n);
    }

    std::vector<uint8_t> adapter_hardware_address() override {
        sockaddr_in local{};
        socklen_t len = sizeof local;
        if (::getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&local), &len) != 0 || local.sin_family != AF_INET)
            return {};
        return hardware_address_of(interface_of(local));
    }

private:
    UniqueFd fd_;
};

class PosixListener final : public TcpListener {
public:
    PosixListener(UniqueFd fd, uint16_t port) : fd_(std::move(fd)), port_(port) {}
    uint16_t port() const override { return port_; }
    std::unique_ptr<TcpConnection> accept(int timeout_ms) override {
        if (!wait_for(fd_.get(), POLLIN, timeout_ms)) return nullptr;
        UniqueFd c(::accept4(fd_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!c) return nullptr;
        return std::make_unique<PosixConnection>(std::move(c));
    }

private:
    UniqueFd fd_;
    uint16_t port_;
};

// Connects `fd` to `addr` within `timeout_ms`.
bool connect_within(int fd, const addrinfo* addr, int timeout_ms, std::string& error) {
    int r = ::connect(fd, addr->ai_addr, addr->ai_addrlen);
    if (r == 0) return true;
    if (errno != EINPROGRESS) {
        error = std::strerror(errno);
        return false;
    }
    if (!wait_for(fd, POLLOUT, timeout_ms)) {
        error = "connection timed out";
        return false;
    }
    int so_error = 0;
    socklen_t len = sizeof so_error;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &so_error, &len);
    if (so_error != 0) {
        error = std::strerror(so_error);
        return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<TcpConnection> tcp_connect(const std::string& host, uint16_t port, int timeout_ms,
                                           std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (int r = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); r != 0) {
        error = fmt("%s: %s", host, ::gai_strerror(r));
        return nullptr;
    }
    std::unique_ptr<TcpConnection> out;
    for (addrinfo* a = found; a && !out; a = a->ai_next) {
        UniqueFd fd(::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol));
        if (!fd) {
            error = std::strerror(errno);
            continue;
        }
        if (!connect_within(fd.get(), a, timeout_ms, error)) continue;
        out = std::make_unique<PosixConnection>(std::move(fd));
    }
    ::freeaddrinfo(found);
    if (!out && error.empty()) error = fmt("%s: no address", host);
    return out;
}

std::unique_ptr<TcpListener> tcp_listen_loopback(std::string& error) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (!fd || ::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd.get(), 8) != 0 ||
        ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    return std::make_unique<PosixListener>(std::move(fd), ntohs(addr.sin_port));
}

}  // namespace tb
