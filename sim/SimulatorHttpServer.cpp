#include "sim/SimulatorHttpServer.h"

#include "sim/ConnectionStream.h"

#include <sys/socket.h>
#include <unistd.h>

namespace zorviksim {

namespace {

// The server runs each connection's handler on the worker thread that serves the connection.
thread_local ConnectionStream *currentConnection = nullptr;

std::chrono::milliseconds timeout(time_t seconds, time_t microseconds)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::seconds(seconds) + std::chrono::microseconds(microseconds));
}

} // namespace

void SimulatorHttpServer::abandonCurrentConnection()
{
    if (currentConnection)
        currentConnection->abandon();
}

std::string SimulatorHttpServer::currentRequestHead()
{
    return currentConnection ? currentConnection->requestHead() : std::string();
}

bool SimulatorHttpServer::process_and_close_socket(socket_t socket)
{
    ConnectionStream stream(socket,
                            timeout(read_timeout_sec_, read_timeout_usec_),
                            timeout(write_timeout_sec_, write_timeout_usec_));
    currentConnection = &stream;
    bool connectionClosed = false;
    const bool served = process_request(stream, true, connectionClosed, nullptr);
    currentConnection = nullptr;
    ::shutdown(socket, SHUT_RDWR);
    ::close(socket);
    return served;
}

} // namespace zorviksim
