// What the payment journal costs a payment: its note before the order is registered and its
// removal when the payment has ended, side by side in the same run with two bare synced SQLite
// commits (WAL, synchronous=FULL) of the same bytes in a file of the same folder, the floor of
// any record that survives a power cut.

#include "support/PairedTiming.h"

#include "processing/PaymentJournal.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>

#include <benchmark/benchmark.h>

namespace {

using zorvikcpqr::PaymentJournal;

QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

// A payment's cancellation as the processing notes it.
QJsonObject cancellation(const QString &operationId, const QString &refundId)
{
    const QJsonObject request{{QStringLiteral("type"), 1},
                              {QStringLiteral("amount"), 15050},
                              {QStringLiteral("operationId"), operationId},
                              {QStringLiteral("paymentCode"), QStringLiteral("ZVQR-0001")},
                              {QStringLiteral("valutCode"), 643}};
    return {{QStringLiteral("request"), request},
            {QStringLiteral("valutCode"), 643},
            {QStringLiteral("refundId"), refundId}};
}

// One SQLite file with one table, and nothing else: a write and its removal, each committed.
class BareCommits
{
public:
    explicit BareCommits(const QString &path)
        : m_database(QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), path))
    {
        m_database.setDatabaseName(path);
        m_ready = m_database.open();
        for (const char *statement : {"PRAGMA journal_mode = WAL",
                                      "PRAGMA synchronous = FULL",
                                      "CREATE TABLE notes (id TEXT PRIMARY KEY, note TEXT)"})
            m_ready = m_ready && QSqlQuery(m_database).exec(QLatin1String(statement));
    }

    bool isReady() const { return m_ready; }

    bool writeAndRemove(const QString &id, const QString &note)
    {
        QSqlQuery insert(m_database);
        insert.prepare(QStringLiteral("INSERT INTO notes VALUES (?, ?)"));
        insert.addBindValue(id);
        insert.addBindValue(note);
        QSqlQuery remove(m_database);
        remove.prepare(QStringLiteral("DELETE FROM notes WHERE id = ?"));
        remove.addBindValue(id);
        return insert.exec() && remove.exec();
    }

private:
    QSqlDatabase m_database;
    bool m_ready = false;
};

void BM_JournalVsBareCommits(benchmark::State &state)
{
    QTemporaryDir folder(QStringLiteral("journal-bench-XXXXXX"));
    PaymentJournal journal(folder.filePath(QStringLiteral("zorvikcpqr-journal.sqlite")));
    BareCommits bare(folder.filePath(QStringLiteral("bare.sqlite")));
    if (!journal.isOpen() || !bare.isReady()) {
        state.SkipWithError("the files could not be opened");
        return;
    }

    bool failed = false;
    std::vector<double> journalWall, bareWall;
    bool journalFirst = false;
    for (auto _ : state) {
        const PaymentJournal::ReturnKey order{newId(), 15050};
        const QString refundId = newId();
        const QJsonObject message = cancellation(order.operationId, refundId);
        // The same bytes: the payment's entry and its return's.
        const QString note = order.operationId + QJsonDocument(message).toJson() + refundId;
        const auto recorded = [&] {
            failed |= !journal.notePayment(order, refundId, message)
                      || !journal.settlePayment(order, refundId);
        };
        const auto bareOnes = [&] {
            failed |= !bare.writeAndRemove(order.operationId, note);
        };
        journalFirst = !journalFirst;
        const Sample first = journalFirst ? measured(recorded) : measured(bareOnes);
        const Sample second = journalFirst ? measured(bareOnes) : measured(recorded);
        journalWall.push_back((journalFirst ? first : second).wallSeconds);
        bareWall.push_back((journalFirst ? second : first).wallSeconds);
    }
    if (failed)
        state.SkipWithError("a write failed");

    const double journalMedian = median(journalWall);
    const double bareMedian = median(bareWall);
    state.counters["journal_us"] = journalMedian * 1e6;
    state.counters["bare_us"] = bareMedian * 1e6;
    state.counters["ratio"] = bareMedian > 0.0 ? journalMedian / bareMedian : 0.0;
}

} // namespace

BENCHMARK(BM_JournalVsBareCommits)->Unit(benchmark::kMicrosecond)->UseRealTime();
