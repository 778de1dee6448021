#pragma once

#include <QString>

#include <chrono>

namespace zorviksim {

struct SimulatorOptions
{
    // When not empty, a request whose "api-key" header differs is refused with HTTP 401.
    QString apiKey;
    // When not empty, a request whose "user-token" header differs is refused with HTTP 401.
    QString userToken;
    // How long an order may stay unpaid before the service gives up on it and reports it
    // declined.
    std::chrono::milliseconds orderExpiry{std::chrono::seconds(60)};
    // How late the answers of the "slow" scenario words arrive.
    std::chrono::milliseconds slowAnswerDelay{std::chrono::seconds(3)};
    // Every order waits for the customer's phone (the page or POST /sim/phone), whatever its
    // scanned code says, as the scenario word MANUAL asks for one code.
    bool manual = false;
    // When both are set, the simulator serves HTTPS with this certificate chain and private key
    // (PEM files).
    QString tlsCertificateFile;
    QString tlsPrivateKeyFile;
};

} // namespace zorviksim
