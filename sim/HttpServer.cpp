#include "sim/HttpServer.h"

#include "sim/HttpConnection.h"

#include <QFile>
#include <QSslKey>

#include <cerrno>
#include <chrono>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zorviksim {

namespace {

// Enough for slow answers held back while others are served; more connections wait their turn.
constexpr int MaximumConnectionThreads = 64;

QSslKey readPrivateKey(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray pem = file.readAll();
    for (const QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa}) {
        const QSslKey key(pem, algorithm);
        if (!key.isNull())
            return key;
    }
    return {};
}

// A socket listening on the address, or -1. Only a socket left in TIME_WAIT may share the port:
// a second server on a busy one would take half of its connections.
int listenOn(const addrinfo &address)
{
    const int listening = ::socket(address.ai_family, address.ai_socktype | SOCK_CLOEXEC, 0);
    if (listening < 0)
        return -1;
    const int yes = 1;
    setsockopt(listening, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    if (::bind(listening, address.ai_addr, address.ai_addrlen) == 0
        && ::listen(listening, SOMAXCONN) == 0)
        return listening;
    ::close(listening);
    return -1;
}

// A socket listening on the first of the host's addresses that takes one, or -1.
int listeningSocket(const QString &host, quint16 port)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo *addresses = nullptr;
    const QByteArray service = QByteArray::number(port);
    if (getaddrinfo(host.toUtf8().constData(), service.constData(), &hints, &addresses) != 0)
        return -1;
    int listening = -1;
    for (const addrinfo *address = addresses; address && listening < 0; address = address->ai_next)
        listening = listenOn(*address);
    freeaddrinfo(addresses);
    return listening;
}

quint16 boundPort(int socket)
{
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    getsockname(socket, reinterpret_cast<sockaddr *>(&address), &length);
    const in_port_t port = address.ss_family == AF_INET6
                               ? reinterpret_cast<const sockaddr_in6 &>(address).sin6_port
                               : reinterpret_cast<const sockaddr_in &>(address).sin_port;
    return ntohs(port);
}

} // namespace

HttpServer::HttpServer(Handler handler)
    : m_handler(std::move(handler))
{
    m_connections.setMaxThreadCount(MaximumConnectionThreads);
}

HttpServer::~HttpServer()
{
    stop();
}

bool HttpServer::useTls(const QString &certificateFile, const QString &privateKeyFile)
{
    const QList<QSslCertificate> chain = QSslCertificate::fromPath(certificateFile);
    const QSslKey key = readPrivateKey(privateKeyFile);
    if (chain.isEmpty() || key.isNull() || !QSslSocket::supportsSsl())
        return false;
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificateChain(chain);
    tls.setPrivateKey(key);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    m_tls = tls;
    return true;
}

bool HttpServer::listen(const QString &host, quint16 port)
{
    if (m_listeningSocket >= 0)
        return false;
    m_listeningSocket = listeningSocket(host, port);
    if (m_listeningSocket < 0)
        return false;
    m_port = boundPort(m_listeningSocket);
    m_stopping = false;
    m_acceptor = std::thread([this] { acceptConnections(); });
    return true;
}

void HttpServer::stop()
{
    if (m_listeningSocket < 0)
        return;
    m_stopping = true;
    // Wakes the blocked accept(), which then fails.
    ::shutdown(m_listeningSocket, SHUT_RDWR);
    m_acceptor.join();
    ::close(m_listeningSocket);
    m_listeningSocket = -1;
    m_connections.waitForDone();
}

void HttpServer::acceptConnections()
{
    while (!m_stopping) {
        const int socket = ::accept4(m_listeningSocket, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0) {
            if (errno == EMFILE || errno == ENFILE)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            else if (errno != EINTR && errno != ECONNABORTED)
                return;
            continue;
        }
        m_connections.start([this, socket] {
            HttpConnection connection(socket, m_tls, m_stopping);
            connection.serve(m_handler);
        });
    }
}

} // namespace zorviksim
