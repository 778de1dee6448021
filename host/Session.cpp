#include "host/Session.h"

template<>
Session *Singleton<Session>::instance = nullptr;

Session::Session()
    : m_document(QSharedPointer<AbstractDocument>::create())
{}

void Session::setDocument(const QSharedPointer<AbstractDocument> &document)
{
    // The session always holds a receipt, empty when none is open, so readers need no null
    // check.
    m_document = document ? document : QSharedPointer<AbstractDocument>::create();
}
