#pragma once

#include "sim/Simulator.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

// What one zorvik-till process printed: one JSON object per command it carried out.
struct TillRun
{
    int exitCode = -1;
    QList<QJsonObject> results;
    QString errors;
};

// The built zorvik-till as a person or a script drives it, against the simulated service: its
// configuration, a receipt of 150.50 and its log in a folder of the test's own, the queue file
// named by each run.
class TillBench
{
public:
    explicit TillBench(const zorviksim::SimulatorOptions &options = {});

    // Starts the service and writes the till's files; false when one of them failed.
    bool start();

    QString path(const QString &name) const { return m_dir.filePath(name); }

    void startTill(QProcess &till, const QString &queue, const QStringList &command) const;
    // Runs a till to its end with that command line and standard input.
    TillRun run(const QString &queue,
                const QStringList &command,
                const QByteArray &input = QByteArray()) const;
    QJsonArray queueList(const QString &queue) const;

    QJsonArray orders();
    QJsonObject order(const QString &clientTransaction);
    // The bodies of the return requests of that order the service received, oldest first.
    QList<QJsonObject> returnRequests(const QString &clientTransaction) const;

private:
    QTemporaryDir m_dir;
    zorviksim::Simulator m_service;
};
