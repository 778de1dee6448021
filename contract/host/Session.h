#pragma once

#include "host/AbstractDocument.h"
#include "host/Singleton.h"

#include <QSharedPointer>
#include <QString>
#include <QVariant>

namespace host_unnamed {
// The cashier: the host gives this type no name the plug-in may use.
class CurrentUser
{
public:
    QVariant getId() const;
};
} // namespace host_unnamed

// The till's session: the open receipt, the till and the cashier.
class Session
{
public:
    QSharedPointer<AbstractDocument> getDocument() const;
    QString getPosId() const;
    QSharedPointer<host_unnamed::CurrentUser> getCurrentUser() const;
};

template<>
Session *Singleton<Session>::instance;
