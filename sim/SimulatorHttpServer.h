#pragma once

#include <httplib.h>

#include <string>

namespace zorviksim {

// The HTTP server of the simulator. It serves one request per connection over its own stream,
// so that a handler can leave a client without any answer, as a service whose connection
// breaks does.
class SimulatorHttpServer final : public httplib::Server
{
public:
    // Called from a handler: the connection it serves is closed without an answer.
    static void abandonCurrentConnection();
    // Called from a handler: the head of the request it serves, as it arrived.
    static std::string currentRequestHead();

private:
    bool process_and_close_socket(socket_t socket) override;
};

} // namespace zorviksim
