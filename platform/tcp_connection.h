// A TCP client connection, and a listener on the loopback address (for a
// service of this machine, and for tests that play a remote service).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tb {

class TcpConnection {
public:
    virtual ~TcpConnection() = default;
    // Sends every byte; false when the connection failed.
    virtual bool send_all(std::span<const uint8_t> bytes) = 0;
    // Waits at most `timeout_ms` for bytes: how many were read, 0 when the
    // peer closed the connection, -1 on a time-out or a failure.
    virtual int receive(std::span<uint8_t> into, int timeout_ms) = 0;
    // The hardware (MAC) address of the adapter this connection leaves
    // through; empty when the system does not say.
    virtual std::vector<uint8_t> adapter_hardware_address() = 0;
};

// Resolves `host` and connects to `port`, waiting at most `timeout_ms`;
// nullptr with `error` set when it cannot.
std::unique_ptr<TcpConnection> tcp_connect(const std::string& host, uint16_t port, int timeout_ms,
                                           std::string& error);

class TcpListener {
public:
    virtual ~TcpListener() = default;
    virtual uint16_t port() const = 0;
    // The next connection, waiting at most `timeout_ms`; nullptr when none came.
    virtual std::unique_ptr<TcpConnection> accept(int timeout_ms) = 0;
};

// Listens on 127.0.0.1 at a port the system chooses; nullptr with `error`.
std::unique_ptr<TcpListener> tcp_listen_loopback(std::string& error);

}  // namespace tb
