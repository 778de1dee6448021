#include "Soak.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {

constexpr int AnswerTimeoutMs = 15000;
// The receipt's total: the payment covers it, so the order carries the itemized cart.
const QByteArray Receipt = R"({"shopCode": 12, "cashCode": 3, "posId": "0003", "cashierId": 42,
 "positions": [
  {"barcode": "4600000000011", "posnum": 1, "name": "Молоко", "quantity": 2, "sum": 100.00},
  {"barcode": "4600000000028", "posnum": 2, "name": "Хлеб", "quantity": 1, "sum": 45.50},
  {"barcode": "", "posnum": 3, "name": "Пакет", "quantity": 1, "sum": 5.00}]})";
// No scenario words: the simulator reports the order paid at the first status request.
const QByteArray PayCommand = "pay 15050 ZVQR\n";

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

Soak::Soak(const Options &options)
    : m_options(options)
{}

Soak::~Soak()
{
    if (m_till.state() != QProcess::NotRunning) {
        m_till.closeWriteChannel();
        if (!m_till.waitForFinished(5000))
            m_till.kill();
    }
    if (m_simulator.state() != QProcess::NotRunning) {
        m_simulator.terminate();
        if (!m_simulator.waitForFinished(5000))
            m_simulator.kill();
    }
}

int Soak::run()
{
    if (!m_dir.isValid()) {
        fail(QStringLiteral("cannot make a temporary directory"));
        return 1;
    }
    if (!startSimulator() || !writeFiles() || !startTill())
        return 1;

    std::printf("%9s %12s %9s %14s\n", "payments", "rss_kib", "open_fds", "ms_per_payment");
    QElapsedTimer sinceLast;
    sinceLast.start();
    for (int payment = 1; payment <= m_options.payments; ++payment) {
        if (!pay()) {
            fail(QStringLiteral("payment %1 was not paid").arg(payment));
            return 1;
        }
        if (payment % m_options.checkpoint == 0 || payment == m_options.payments) {
            const int paymentsSinceLast = payment % m_options.checkpoint
                                              ? payment % m_options.checkpoint
                                              : m_options.checkpoint;
            measure(payment, double(sinceLast.nsecsElapsed()) * 1e-9 / paymentsSinceLast);
            sinceLast.restart();
        }
    }
    return verdict() ? 0 : 1;
}

bool Soak::startSimulator()
{
    m_simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_simulator.start(toolPath(QStringLiteral("zorvik-sim")),
                      {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")});
    // "listening on http://127.0.0.1:PORT/"
    while (m_simulator.waitForReadyRead(AnswerTimeoutMs) || m_simulator.canReadLine()) {
        if (!m_simulator.canReadLine())
            continue;
        const QString line = QString::fromUtf8(m_simulator.readLine()).trimmed();
        if (line.startsWith(QLatin1String("listening on "))) {
            m_serviceUrl = line.mid(13);
            return true;
        }
    }
    return fail(QStringLiteral("zorvik-sim did not start: %1").arg(m_simulator.errorString()));
}

bool Soak::writeFiles()
{
    const QByteArray config = "[zorvikcpqr]\nurl=" + m_serviceUrl.toUtf8()
                              + "\nstatusRequestInterval=0\nstatusRequestDelay=0\n";
    if (!writeFile(m_dir.filePath(QStringLiteral("zorvikcpqr.ini")), config)
        || !writeFile(m_dir.filePath(QStringLiteral("receipt.json")), Receipt))
        return fail(QStringLiteral("cannot write into %1").arg(m_dir.path()));
    return true;
}

bool Soak::startTill()
{
    m_till.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_till.start(toolPath(QStringLiteral("zorvik-till")),
                 {QStringLiteral("--json"),
                  QStringLiteral("--log-level"),
                  QStringLiteral("error"),
                  QStringLiteral("--config"),
                  m_dir.filePath(QStringLiteral("zorvikcpqr.ini")),
                  QStringLiteral("--receipt"),
                  m_dir.filePath(QStringLiteral("receipt.json")),
                  QStringLiteral("--queue"),
                  m_dir.filePath(QStringLiteral("queue.sqlite"))});
    if (!m_till.waitForStarted(AnswerTimeoutMs))
        return fail(QStringLiteral("zorvik-till did not start: %1").arg(m_till.errorString()));
    return true;
}

bool Soak::pay()
{
    m_till.write(PayCommand);
    while (!m_till.canReadLine()) {
        if (!m_till.waitForReadyRead(AnswerTimeoutMs))
            return false;
    }
    const QJsonObject answer = QJsonDocument::fromJson(m_till.readLine()).object();
    return answer.value(QStringLiteral("command")) == QLatin1String("pay")
           && answer.value(QStringLiteral("status")) == 0;
}

void Soak::measure(int payments, double secondsPerPayment)
{
    m_last = ProcessFigures::of(m_till.processId());
    if (!m_first.isValid())
        m_first = m_last;
    std::printf("%9d %12lld %9d %14.3f\n",
                payments,
                static_cast<long long>(m_last.residentKib),
                m_last.openFiles,
                secondsPerPayment * 1e3);
    std::fflush(stdout);
}

bool Soak::verdict() const
{
    if (!m_first.isValid() || !m_last.isValid())
        return fail(QStringLiteral("the till's figures could not be read"));
    const qint64 residentGrowth = m_last.residentKib - m_first.residentKib;
    const int descriptorGrowth = m_last.openFiles - m_first.openFiles;
    const bool held = residentGrowth <= m_options.residentToleranceKib && descriptorGrowth <= 0;
    std::printf("budget  till after %d payments against the first measurement: resident memory "
                "%+lld KiB (at most %+lld), open descriptors %+d (at most +0) %s\n",
                m_options.payments,
                static_cast<long long>(residentGrowth),
                static_cast<long long>(m_options.residentToleranceKib),
                descriptorGrowth,
                held ? "held" : "MISSED");
    return held;
}

bool Soak::fail(const QString &message) const
{
    std::fprintf(stderr, "zorvik-soak: %s\n", qPrintable(message));
    return false;
}

QString Soak::toolPath(const QString &name) const
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}
