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
    m_simulatorAtStart = ProcessFigures::of(m_simulator.processId());

    std::printf("%9s %12s %9s %14s %16s\n",
                "payments",
                "rss_kib",
                "open_fds",
                "ms_per_payment",
                "simulator_rss_kib");
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
    const bool held = verdict();
    return held || !m_options.checkBudgets ? 0 : 1;
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
    m_simulatorLast = ProcessFigures::of(m_simulator.processId());
    m_lastPayments = payments;
    m_lastSecondsPerPayment = secondsPerPayment;
    if (!m_first.isValid()) {
        m_first = m_last;
        m_simulatorFirst = m_simulatorLast;
        m_firstPayments = payments;
        m_firstSecondsPerPayment = secondsPerPayment;
    }
    std::printf("%9d %12lld %9d %14.3f %16lld\n",
                payments,
                static_cast<long long>(m_last.residentKib),
                m_last.openFiles,
                secondsPerPayment * 1e3,
                static_cast<long long>(m_simulatorLast.residentKib));
    std::fflush(stdout);
}

bool Soak::verdict() const
{
    if (!m_first.isValid() || !m_last.isValid() || !m_simulatorAtStart.isValid()
        || !m_simulatorLast.isValid())
        return fail(QStringLiteral("the processes' figures could not be read"));
    const bool till = tillHeld();
    const bool paymentTime = paymentTimeHeld();
    const bool simulator = simulatorHeld();
    return till && paymentTime && simulator;
}

bool Soak::tillHeld() const
{
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

// The simulator finds orders by index and keeps a bounded journal: the last payments cost what
// the first did.
bool Soak::paymentTimeHeld() const
{
    const double ratio = m_lastSecondsPerPayment / m_firstSecondsPerPayment;
    const bool held = ratio <= m_options.slowdownAllowed;
    std::printf("budget  time a payment, last checkpoint against the first: %.3f against %.3f ms, "
                "ratio %.2f (at most %.2f) %s\n",
                m_lastSecondsPerPayment * 1e3,
                m_firstSecondsPerPayment * 1e3,
                ratio,
                m_options.slowdownAllowed,
                held ? "held" : "MISSED");
    return held;
}

// Each order the simulator stores after the first checkpoint may cost it no more memory than
// one of the first checkpoint did (start-up's figure taken away); what else it keeps is bounded.
bool Soak::simulatorHeld() const
{
    const double firstPerOrder
        = double(m_simulatorFirst.residentKib - m_simulatorAtStart.residentKib) / m_firstPayments;
    const double laterPerOrder = double(m_simulatorLast.residentKib - m_simulatorFirst.residentKib)
                                 / qMax(1, m_lastPayments - m_firstPayments);
    const bool held = laterPerOrder <= firstPerOrder;
    std::printf("budget  simulator memory a stored order, after the first checkpoint against up "
                "to it: %.2f against %.2f KiB (at most 1x) %s\n",
                laterPerOrder,
                firstPerOrder,
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
