#include "sim/ConnectionStream.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace zorviksim {

namespace {

using AddressQuery = int (*)(int, sockaddr *, socklen_t *);

void readAddress(socket_t socket, AddressQuery query, std::string &ip, int &port)
{
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    if (query(socket, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return;
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto &ipv4 = reinterpret_cast<const sockaddr_in &>(address);
        inet_ntop(AF_INET, &ipv4.sin_addr, text, sizeof(text));
        port = ntohs(ipv4.sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto &ipv6 = reinterpret_cast<const sockaddr_in6 &>(address);
        inet_ntop(AF_INET6, &ipv6.sin6_addr, text, sizeof(text));
        port = ntohs(ipv6.sin6_port);
    }
    ip = text;
}

} // namespace

ConnectionStream::ConnectionStream(socket_t socket,
                                   std::chrono::milliseconds readTimeout,
                                   std::chrono::milliseconds writeTimeout)
    : m_socket(socket)
    , m_readTimeout(readTimeout)
    , m_writeTimeout(writeTimeout)
{}

bool ConnectionStream::is_readable() const
{
    return !m_abandoned && (m_bufferBegin < m_bufferEnd || waitFor(POLLIN, m_readTimeout));
}

bool ConnectionStream::is_writable() const
{
    return !m_abandoned && waitFor(POLLOUT, m_writeTimeout);
}

ssize_t ConnectionStream::read(char *data, size_t size)
{
    if (m_abandoned)
        return -1;
    if (m_bufferBegin == m_bufferEnd) {
        if (!is_readable())
            return -1;
        ssize_t received;
        do {
            received = ::recv(m_socket, m_buffer.data(), m_buffer.size(), 0);
        } while (received < 0 && errno == EINTR);
        if (received <= 0)
            return received;
        m_bufferBegin = 0;
        m_bufferEnd = static_cast<size_t>(received);
    }
    const size_t count = std::min(size, m_bufferEnd - m_bufferBegin);
    std::memcpy(data, m_buffer.data() + m_bufferBegin, count);
    m_bufferBegin += count;
    recordHead(data, count);
    return static_cast<ssize_t>(count);
}

ssize_t ConnectionStream::write(const char *data, size_t size)
{
    if (!is_writable())
        return -1;
    ssize_t sent;
    do {
        sent = ::send(m_socket, data, size, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent;
}

void ConnectionStream::get_remote_ip_and_port(std::string &ip, int &port) const
{
    readAddress(m_socket, ::getpeername, ip, port);
}

void ConnectionStream::get_local_ip_and_port(std::string &ip, int &port) const
{
    readAddress(m_socket, ::getsockname, ip, port);
}

void ConnectionStream::recordHead(const char *data, size_t size)
{
    static const std::string blankLine = "\r\n\r\n";
    if (m_headComplete)
        return;
    const size_t searchFrom = m_requestHead.size() < 3 ? 0 : m_requestHead.size() - 3;
    m_requestHead.append(data, size);
    const size_t end = m_requestHead.find(blankLine, searchFrom);
    if (end != std::string::npos) {
        m_requestHead.resize(end + blankLine.size());
        m_headComplete = true;
    }
}

bool ConnectionStream::waitFor(short events, std::chrono::milliseconds timeout) const
{
    pollfd watched{m_socket, events, 0};
    int ready;
    do {
        ready = ::poll(&watched, 1, static_cast<int>(timeout.count()));
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

} // namespace zorviksim
