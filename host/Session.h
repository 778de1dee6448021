#pragma once

#include "host/AbstractDocument.h"
#include "host/Singleton.h"
#include "host/User.h"

#include <QSharedPointer>
#include <QString>

// The till's working session: its id, the logged-in cashier and the open receipt.
class Session
{
public:
    Session();

    QSharedPointer<AbstractDocument> getDocument() const { return m_document; }
    void setDocument(const QSharedPointer<AbstractDocument> &document);

    QString getPosId() const { return m_posId; }
    void setPosId(const QString &posId) { m_posId = posId; }

    QSharedPointer<User> getCurrentUser() const { return m_user; }
    void setCurrentUser(const QSharedPointer<User> &user) { m_user = user; }

private:
    QString m_posId;
    QSharedPointer<User> m_user;
    QSharedPointer<AbstractDocument> m_document;
};

template<>
Session *Singleton<Session>::instance;
