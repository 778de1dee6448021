#pragma once

#include <QVariant>

// The cashier logged in to the till.
class User
{
public:
    explicit User(const QVariant &id)
        : m_id(id)
    {}

    QVariant getId() const { return m_id; }

private:
    QVariant m_id;
};
