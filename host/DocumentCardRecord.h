#pragma once

#include <QVariant>

// A loyalty or discount card attached to a receipt.
class DocumentCardRecord
{
public:
    explicit DocumentCardRecord(const QString &number)
        : m_number(number)
    {}

    QVariant getNumber() const { return m_number; }

private:
    QString m_number;
};
