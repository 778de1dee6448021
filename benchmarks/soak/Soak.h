#pragma once

#include "ProcessFigures.h"

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// Thousands of payments in one zorvik-till process against a zorvik-sim process, both built
// beside this tool. The till must not grow at all; the simulator keeps every order, so it may
// grow with them but no faster; and the time a payment takes must not grow either.
class Soak
{
public:
    struct Options
    {
        int payments = 10000;
        // The till is measured after every this many payments; the first measurement is the
        // baseline that the last is compared with.
        int checkpoint = 1000;
        // How much the resident memory may move between the first and the last measurement.
        qint64 residentToleranceKib = 256;
        // How much slower a payment of the last checkpoint may be than one of the first.
        double slowdownAllowed = 1.2;
        // Off: a missed budget is printed, not failed.
        bool checkBudgets = true;
    };

    explicit Soak(const Options &options);
    ~Soak();

    // 0 when every payment was paid and every budget held (or budgets are not checked); 1
    // otherwise.
    int run();

private:
    bool startSimulator();
    bool writeFiles();
    bool startTill();
    bool pay();
    void measure(int payments, double secondsSinceLast);
    bool verdict() const;
    bool tillHeld() const;
    bool paymentTimeHeld() const;
    bool simulatorHeld() const;
    bool fail(const QString &message) const;
    QString toolPath(const QString &name) const;

    Options m_options;
    QTemporaryDir m_dir;
    QProcess m_simulator;
    QProcess m_till;
    QString m_serviceUrl;
    ProcessFigures m_first;
    ProcessFigures m_last;
    ProcessFigures m_simulatorAtStart;
    ProcessFigures m_simulatorFirst;
    ProcessFigures m_simulatorLast;
    int m_firstPayments = 0;
    int m_lastPayments = 0;
    double m_firstSecondsPerPayment = 0;
    double m_lastSecondsPerPayment = 0;
};
