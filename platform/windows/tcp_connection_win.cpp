// TCP over Winsock. The adapter's hardware address is that of the adapter
// holding the connection's local address (GetAdaptersAddresses, looked up
// in iphlpapi.dll when first needed).
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <windows.h>

#include <mutex>

#include "common/format.h"
#include "platform/tcp_connection.h"

namespace tb {

namespace {

void start_winsock() {
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data{};
        WSAStartup(MAKEWORD(2, 2), &data);
    });
}

std::string last_socket_error(const char* what) { return fmt("%s: error %d", what, WSAGetLastError()); }

bool wait_for(SOCKET s, bool write, int timeout_ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    fd_set errors;
    FD_ZERO(&errors);
    FD_SET(s, &errors);
    timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    int r = select(0, write ? nullptr : &set, write ? &set : nullptr, &errors, &tv);
    return r > 0 && FD_ISSET(s, &set);
}

class Socket {
public:
    explicit Socket(SOCKET s = INVALID_SOCKET) : s_(s) {}
    ~Socket() {
        if (s_ != INVALID_SOCKET) closesocket(s_);
    }
    Socket(Socket&& o) noexcept : s_(o.s_) { o.s_ = INVALID_SOCKET; }
    Socket& operator=(Socket&&) = delete;
    Socket(const Socket&) = delete;
    SOCKET get() const { return s_; }
    bool valid() const { return s_ != INVALID_SOCKET; }

private:
    SOCKET s_;
};

using GetAdaptersAddressesFn = ULONG(WINAPI*)(ULONG, ULONG, PVOID, PIP_ADAPTER_ADDRESSES, PULONG);

std::vector<uint8_t> hardware_address_of(const sockaddr_in& local) {
    HMODULE lib = LoadLibraryW(L"iphlpapi.dll");
    if (!lib) return {};
    auto get = reinterpret_cast<GetAdaptersAddressesFn>(
        reinterpret_cast<void*>(GetProcAddress(lib, "GetAdaptersAddresses")));
    std::vector<uint8_t> mac;
    ULONG size = 16 * 1024;
    std::vector<uint8_t> buffer(size);
    if (get && get(AF_INET, 0, nullptr, reinterpret_cast<PIP_ADAPTER_ADDRESSES>(buffer.data()), &size) == NO_ERROR) {
        for (auto* a = reinterpret_cast<PIP_ADAPTER_ADDRESSES>(buffer.data()); a && mac.empty(); a = a->Next)
            for (auto* u = a->FirstUnicastAddress; u; u = u->Next) {
                auto* in = reinterpret_cast<const sockaddr_in*>(u->Address.lpSockaddr);
                if (in->sin_family == AF_INET && in->sin_addr.s_addr == local.sin_addr.s_addr) {
                    mac.assign(a->PhysicalAddress, a->PhysicalAddress + a->PhysicalAddressLength);
                    break;
                }
            }
    }
    FreeLibrary(lib);
    return mac;
}

class WinsockConnection final : public TcpConnection {
public:
    explicit WinsockConnection(Socket s) : s_(std::move(s)) {}

    bool send_all(std::span<const uint8_t> bytes) override {
        size_t done = 0;
        while (done < bytes.size()) {
            int n = send(s_.get(), reinterpret_cast<const char*>(bytes.data() + done),
                         static_cast<int>(bytes.size() - done), 0);
            if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK && wait_for(s_.get(), true, 10000)) continue;
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }

    int receive(std::span<uint8_t> into, int timeout_ms) override {
        if (!wait_for(s_.get(), false, timeout_ms)) return -1;
        int n = recv(s_.get(), reinterpret_cast<char*>(into.data()), static_cast<int>(into.size()), 0);
        return n == SOCKET_ERROR ? -1 : n;
    }

    std::vector<uint8_t> adapter_hardware_address() override {
        sockaddr_in local{};
        int len = sizeof local;
        if (getsockname(s_.get(), reinterpret_cast<sockaddr*>(&local), &len) != 0) return {};
        return hardware_address_of(local);
    }

private:
    Socket s_;
};

class WinsockListener final : public TcpListener {
public:
    WinsockListener(Socket s, uint16_t port) : s_(std::move(s)), port_(port) {}
    uint16_t port() const override { return port_; }
    std::unique_ptr<TcpConnection> accept(int timeout_ms) override {
        if (!wait_for(s_.get(), false, timeout_ms)) return nullptr;
        Socket c(::accept(s_.get(), nullptr, nullptr));
        if (!c.valid()) return nullptr;
        return std::make_unique<WinsockConnection>(std::move(c));
    }

private:
    Socket s_;
    uint16_t port_;
};

}  // namespace

std::unique_ptr<TcpConnection> tcp_connect(const std::string& host, uint16_t port, int timeout_ms,
                                           std::string& error) {
    start_winsock();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0) {
        error = last_socket_error(host.c_str());
        return nullptr;
    }
    std::unique_ptr<TcpConnection> out;
    for (addrinfo* a = found; a && !out; a = a->ai_next) {
        Socket s(socket(a->ai_family, a->ai_socktype, a->ai_protocol));
        if (!s.valid()) {
            error = last_socket_error("socket");
            continue;
        }
        u_long non_blocking = 1;
        ioctlsocket(s.get(), FIONBIO, &non_blocking);
        if (connect(s.get(), a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0 &&
            WSAGetLastError() != WSAEWOULDBLOCK) {
            error = last_socket_error("connect");
            continue;
        }
        if (!wait_for(s.get(), true, timeout_ms)) {
            error = "connection timed out or refused";
            continue;
        }
        out = std::make_unique<WinsockConnection>(std::move(s));
    }
    freeaddrinfo(found);
    if (!out && error.empty()) error = fmt("%s: no address", host);
    return out;
}

std::unique_ptr<TcpListener> tcp_listen_loopback(std::string& error) {
    start_winsock();
    Socket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof addr;
    if (!s.valid() || bind(s.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(s.get(), 8) != 0 || getsockname(s.get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        error = last_socket_error("listen");
        return nullptr;
    }
    return std::make_unique<WinsockListener>(std::move(s), ntohs(addr.sin_port));
}

}  // namespace tb
