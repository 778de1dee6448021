#include "sim/RequestJournal.h"

#include <QMutexLocker>

#include <algorithm>

namespace zorviksim {

namespace {

const QString OrderKey = QStringLiteral("client_transaction");

// "DROP", "SLOW", "HTML, SLOW" or nothing: the words a tester types for these faults.
QString faultText(const ServiceReply &reply)
{
    QStringList faults;
    if (reply.fault())
        faults.append(answerFaultWord(*reply.fault()));
    if (reply.delay().count() > 0)
        faults.append(QStringLiteral("SLOW"));
    return faults.join(QStringLiteral(", "));
}

// The order a request concerns: the client transaction of its query or of its body.
QString orderOf(const ReceivedRequest &request)
{
    const QString inQuery = request.query.queryItemValue(OrderKey, QUrl::FullyDecoded);
    return inQuery.isEmpty() ? request.json().value(OrderKey).toString() : inQuery;
}

// Enough of a credential to tell two apart, never the whole of it.
QString masked(const QString &secret)
{
    constexpr qsizetype ShownOfLongSecret = 2;
    constexpr qsizetype LongSecret = 8;
    const QString shown = secret.left(secret.size() >= LongSecret ? ShownOfLongSecret : 0);
    return QStringLiteral("%1… (%2 characters)").arg(shown).arg(secret.size());
}

bool isCredential(const QString &header)
{
    return header.compare(QLatin1String("api-key"), Qt::CaseInsensitive) == 0
           || header.compare(QLatin1String("user-token"), Qt::CaseInsensitive) == 0;
}

QJsonArray headersJson(const ReceivedRequest &request)
{
    QJsonArray headers;
    for (const auto &[name, value] : request.headers)
        headers.append(QJsonArray{name, isCredential(name) ? masked(value) : value});
    return headers;
}

// The body as text, cut at ShownBodyBytes.
QJsonObject bodyJson(const QByteArray &body)
{
    return {{QStringLiteral("text"), QString::fromUtf8(body.left(RequestJournal::ShownBodyBytes))},
            {QStringLiteral("bytes"), body.size()},
            {QStringLiteral("cut"), body.size() > RequestJournal::ShownBodyBytes}};
}

} // namespace

void RequestJournal::append(const ReceivedRequest &request, const ServiceReply &reply)
{
    Entry entry{0, request, QDateTime::currentDateTimeUtc(), reply, orderOf(request)};
    QMutexLocker locker(&m_mutex);
    entry.id = ++m_lastId;
    if (m_entries.size() == Capacity)
        m_entries.removeFirst();
    m_entries.append(std::move(entry));
}

void RequestJournal::clear()
{
    QMutexLocker locker(&m_mutex);
    m_entries.clear();
}

qsizetype RequestJournal::size() const
{
    QMutexLocker locker(&m_mutex);
    return m_entries.size();
}

QList<ReceivedRequest> RequestJournal::entries() const
{
    QMutexLocker locker(&m_mutex);
    QList<ReceivedRequest> requests;
    requests.reserve(m_entries.size());
    for (const Entry &entry : m_entries)
        requests.append(entry.request);
    return requests;
}

QJsonArray RequestJournal::latest(qsizetype count, const QString &order) const
{
    QMutexLocker locker(&m_mutex);
    QJsonArray json;
    for (auto entry = m_entries.crbegin(); entry != m_entries.crend() && json.size() < count;
         ++entry) {
        if (order.isEmpty() || entry->order == order)
            json.append(summary(*entry));
    }
    return json;
}

std::optional<QJsonObject> RequestJournal::details(qint64 id) const
{
    QMutexLocker locker(&m_mutex);
    const auto found = std::find_if(
        m_entries.cbegin(), m_entries.cend(), [id](const Entry &e) { return e.id == id; });
    if (found == m_entries.cend())
        return std::nullopt;
    QJsonObject json = summary(*found);
    json.insert(QStringLiteral("headers"), headersJson(found->request));
    json.insert(QStringLiteral("requestBody"), bodyJson(found->request.body));
    json.insert(QStringLiteral("answerBody"), bodyJson(found->reply.body()));
    return json;
}

QJsonObject RequestJournal::summary(const Entry &entry)
{
    return {
        {QStringLiteral("id"), entry.id},
        {QStringLiteral("at"), entry.receivedAt.toString(Qt::ISODateWithMs)},
        {QStringLiteral("method"), entry.request.method},
        {QStringLiteral("target"), entry.request.target()},
        {QStringLiteral("order"), entry.order},
        {QStringLiteral("status"), entry.reply.dropsConnection() ? 0 : entry.reply.httpStatus()},
        {QStringLiteral("fault"), faultText(entry.reply)},
    };
}

} // namespace zorviksim
