#include "sim/HttpServer.h"

#include "sim/HttpConnection.h"

#include <QFile>
#include <QSslKey>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zorviksim {

namespace {

// Enough for slow answers held back while others are served; more connections wait their turn.
constexpr int MaximumConnectionThreads = 64;

// The file's content, or nothing with the reason.
std::optional<QByteArray> readFile(const QString &fileName, QString *reason)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        *reason = QStringLiteral("cannot read %1: %2").arg(fileName, file.errorString());
        return std::nullopt;
    }
    return file.readAll();
}

QSslKey privateKey(const QByteArray &pem)
{
    for (const QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa}) {
        const QSslKey key(pem, algorithm);
        if (!key.isNull())
            return key;
    }
    return {};
}

// A socket listening on the address, or -1 with the system's reason. Only a socket left in
// TIME_WAIT may share the port: a second server on a busy one would take half of its
// connections.
int listenOn(const addrinfo &address, QString *reason)
{
    const int listening = ::socket(address.ai_family, address.ai_socktype | SOCK_CLOEXEC, 0);
    if (listening < 0) {
        *reason = QString::fromLocal8Bit(std::strerror(errno));
        return -1;
    }
    const int yes = 1;
    setsockopt(listening, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    if (::bind(listening, address.ai_addr, address.ai_addrlen) == 0
        && ::listen(listening, SOMAXCONN) == 0)
        return listening;
    *reason = QString::fromLocal8Bit(std::strerror(errno));
    ::close(listening);
    return -1;
}

// A socket listening on the first of the host's addresses that takes one, or -1 with the
// reason of the last one tried.
int listeningSocket(const QString &host, quint16 port, QString *reason)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo *addresses = nullptr;
    const QByteArray service = QByteArray::number(port);
    const int lookup
        = getaddrinfo(host.toUtf8().constData(), service.constData(), &hints, &addresses);
    if (lookup != 0) {
        *reason = QString::fromLocal8Bit(gai_strerror(lookup));
        return -1;
    }
    int listening = -1;
    for (const addrinfo *address = addresses; address && listening < 0; address = address->ai_next)
        listening = listenOn(*address, reason);
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
    const std::optional<QByteArray> chainPem = readFile(certificateFile, &m_errorString);
    if (!chainPem)
        return false;
    const std::optional<QByteArray> keyPem = readFile(privateKeyFile, &m_errorString);
    if (!keyPem)
        return false;
    const QList<QSslCertificate> chain = QSslCertificate::fromData(*chainPem);
    const QSslKey key = privateKey(*keyPem);
    if (chain.isEmpty() || key.isNull() || !QSslSocket::supportsSsl()) {
        m_errorString
            = chain.isEmpty() ? QStringLiteral("no PEM certificate in %1").arg(certificateFile)
              : key.isNull()  ? QStringLiteral("no PEM private key in %1").arg(privateKeyFile)
                              : QStringLiteral("TLS is not available on this system");
        return false;
    }
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificateChain(chain);
    tls.setPrivateKey(key);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    m_tls = tls;
    return true;
}

bool HttpServer::listen(const QString &host, quint16 port)
{
    if (m_listeningSocket >= 0) {
        m_errorString = QStringLiteral("the server listens already");
        return false;
    }
    QString reason;
    m_listeningSocket = listeningSocket(host, port, &reason);
    if (m_listeningSocket < 0) {
        m_errorString
            = QStringLiteral("cannot listen on %1:%2: %3").arg(host).arg(port).arg(reason);
        return false;
    }
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
