#pragma once

#include <httplib.h>

#include <array>
#include <chrono>
#include <string>

namespace zorviksim {

// The byte stream of one accepted connection, as the HTTP server reads requests from it and
// writes answers to it. Unlike the library's own stream it can be abandoned: from then on
// nothing more is read or written, so that closing the socket leaves the peer without any
// answer at all.
class ConnectionStream final : public httplib::Stream
{
public:
    ConnectionStream(socket_t socket,
                     std::chrono::milliseconds readTimeout,
                     std::chrono::milliseconds writeTimeout);

    void abandon() { m_abandoned = true; }
    // The request line and header lines exactly as they arrived, up to the blank line. The
    // server's own parsing drops headers with empty values and decodes percent signs in them.
    const std::string &requestHead() const { return m_requestHead; }

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char *data, size_t size) override;
    ssize_t write(const char *data, size_t size) override;
    void get_remote_ip_and_port(std::string &ip, int &port) const override;
    void get_local_ip_and_port(std::string &ip, int &port) const override;
    socket_t socket() const override { return m_socket; }

private:
    bool waitFor(short events, std::chrono::milliseconds timeout) const;
    void recordHead(const char *data, size_t size);

    socket_t m_socket;
    std::chrono::milliseconds m_readTimeout;
    std::chrono::milliseconds m_writeTimeout;
    bool m_abandoned = false;
    // The server reads request lines byte by byte; this spares a system call per byte.
    std::array<char, 4096> m_buffer{};
    size_t m_bufferBegin = 0;
    size_t m_bufferEnd = 0;
    std::string m_requestHead;
    bool m_headComplete = false;
};

} // namespace zorviksim
