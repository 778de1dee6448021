// The stand-in host library keeps the binary shape the plug-in is built against.

#include "host/RestClient.h"

#include <QTest>

#include <cstddef>
#include <cstring>

namespace {

// The slot of a virtual operation in its class's virtual table; -1 for one that is not virtual.
// Itanium C++ ABI: a pointer to a virtual member holds one more than the slot's byte offset.
template<typename Member>
qint64 slotOf(Member member)
{
    struct
    {
        std::ptrdiff_t pointer;
        std::ptrdiff_t adjustment;
    } parts;
    static_assert(sizeof(parts) == sizeof(member));
    std::memcpy(&parts, &member, sizeof(parts));
    if ((parts.pointer & 1) == 0)
        return -1;
    return (parts.pointer - 1) / qint64(sizeof(void *));
}

// QObject's last virtual operation, which is protected.
struct QObjectSlots : QObject
{
    static qint64 last() { return slotOf(&QObjectSlots::disconnectNotify); }
};

} // namespace

class HostContractTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void restClientSlotOrder_data();
    void restClientSlotOrder();
};

void HostContractTest::restClientSlotOrder_data()
{
    QTest::addColumn<qint64>("slot");
    QTest::addColumn<qint64>("previous"); // the slot of the operation before it

    const QList<QPair<const char *, qint64>> order{
        {"get", slotOf(&RestClient::get)},
        {"post", slotOf(&RestClient::post)},
        {"lastError", slotOf(&RestClient::lastError)},
        {"lastErrorText", slotOf(&RestClient::lastErrorText)},
        {"responseDocument", slotOf(&RestClient::responseDocument)},
        {"setTimeout", slotOf(&RestClient::setTimeout)},
        {"isTimedOut", slotOf(&RestClient::isTimedOut)},
    };
    qint64 previous = QObjectSlots::last();
    for (const auto &[name, slot] : order) {
        QTest::newRow(name) << slot << previous;
        previous = slot;
    }
}

// The plug-in calls the REST client through its virtual table, by the slots a real host library
// has: these operations come after QObject's, in this order.
void HostContractTest::restClientSlotOrder()
{
    QFETCH(qint64, slot);
    QFETCH(qint64, previous);
    QVERIFY2(previous >= 0 && slot > previous,
             qPrintable(QStringLiteral("slot %1 after slot %2").arg(slot).arg(previous)));
}

QTEST_GUILESS_MAIN(HostContractTest)
#include "tst_hostcontract.moc"
