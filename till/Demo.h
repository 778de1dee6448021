#pragma once

#include "till/TillOptions.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>

class Till;

// A whole cashier's story with the real plug-in against a simulator started in this process:
// payments whole and partial, refunds, a decline, a service error, an interruption, a lost
// status answer, and the queue cancelling the abandoned orders. Doubles as a smoke test.
class Demo
{
public:
    explicit Demo(const TillOptions &options);

    // 0 when every step ended as expected.
    int run();

private:
    // Checks a step's result; an empty text when it is as expected, else what went otherwise.
    using Expectation = std::function<QString(const QJsonObject &)>;

    QJsonObject
    step(Till &till, const QString &title, const QStringList &command, const Expectation &expected);
    void openReceipt(const QByteArray &receipt);
    bool printOrders(const QJsonObject &state);
    QString colour(const QString &text, const char *code) const;

    TillOptions m_options;
    QTextStream m_out;
    bool m_colours;
    int m_steps = 0;
    int m_failures = 0;
};
