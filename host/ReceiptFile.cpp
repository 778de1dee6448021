#include "host/ReceiptFile.h"

#include "host/Session.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <limits>
#include <optional>

namespace {

// Reads the members of one JSON object, remembering the first fault with the member's path
// (such as "positions[1].quantity") so that the caller can name it.
class MemberReader
{
public:
    MemberReader(const QJsonObject &object, const QString &path, QString *fault)
        : m_object(object)
        , m_path(path)
        , m_fault(fault)
    {}

    QJsonValue required(const QString &name, QJsonValue::Type type, const char *typeName) const
    {
        const QJsonValue value = m_object.value(name);
        if (value.isUndefined())
            return failed(QStringLiteral("member \"%1\" is missing").arg(pathOf(name)));
        if (value.type() != type)
            return failed(QStringLiteral("member \"%1\" is not %2")
                              .arg(pathOf(name), QLatin1String(typeName)));
        return value;
    }

    QString string(const QString &name) const
    {
        return required(name, QJsonValue::String, "a string").toString();
    }

    double number(const QString &name) const
    {
        return required(name, QJsonValue::Double, "a number").toDouble();
    }

    int integer(const QString &name) const
    {
        const QJsonValue value = required(name, QJsonValue::Double, "a number");
        const double number = value.toDouble();
        if (value.isDouble()
            && (number != std::trunc(number) || number < std::numeric_limits<int>::min()
                || number > std::numeric_limits<int>::max())) {
            failed(QStringLiteral("member \"%1\" is not an integer").arg(pathOf(name)));
            return 0;
        }
        return int(number);
    }

    QJsonArray array(const QString &name) const
    {
        return required(name, QJsonValue::Array, "an array").toArray();
    }

    bool has(const QString &name) const { return m_object.contains(name); }
    QString pathOf(const QString &name) const
    {
        return m_path.isEmpty() ? name : m_path + QLatin1Char('.') + name;
    }
    QJsonValue failed(const QString &fault) const
    {
        if (m_fault->isEmpty())
            *m_fault = fault;
        return QJsonValue();
    }

private:
    QJsonObject m_object;
    QString m_path;
    QString *m_fault;
};

// The cashier id is whatever scalar the till uses: a number, a text or a flag; null means no
// cashier is logged in.
QSharedPointer<User> readCashier(const MemberReader &receipt, const QJsonObject &object)
{
    const QJsonValue id = object.value(QStringLiteral("cashierId"));
    if (id.isUndefined() || id.isNull())
        return {};
    if (id.isArray() || id.isObject()) {
        receipt.failed(QStringLiteral("member \"cashierId\" is not a scalar"));
        return {};
    }
    return QSharedPointer<User>::create(id.toVariant());
}

QSharedPointer<GoodsItem> readPosition(const QJsonValue &value, int index, QString *fault)
{
    const QString path = QStringLiteral("positions[%1]").arg(index);
    if (!value.isObject()) {
        *fault = QStringLiteral("member \"%1\" is not an object").arg(path);
        return {};
    }
    const MemberReader position(value.toObject(), path, fault);
    auto item = QSharedPointer<GoodsItem>::create(position.string(QStringLiteral("barcode")),
                                                  position.integer(QStringLiteral("posnum")),
                                                  position.string(QStringLiteral("name")),
                                                  position.number(QStringLiteral("quantity")),
                                                  position.number(QStringLiteral("sum")));
    return fault->isEmpty() ? item : nullptr;
}

} // namespace

bool ReceiptFile::load(const QString &path, Session *session, QString *errorMessage)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (errorMessage)
            *errorMessage
                = QStringLiteral("%1: cannot read the file: %2").arg(path, file.errorString());
        return false;
    }
    return parse(file.readAll(), path, session, errorMessage);
}

bool ReceiptFile::parse(const QByteArray &json,
                        const QString &source,
                        Session *session,
                        QString *errorMessage)
{
    QString fault;
    const auto refuse = [&](const QString &reason) {
        if (errorMessage)
            *errorMessage = source + QStringLiteral(": ") + reason;
        return false;
    };

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return refuse(QStringLiteral("not JSON: %1 at offset %2")
                          .arg(parseError.errorString())
                          .arg(parseError.offset));
    if (!document.isObject())
        return refuse(QStringLiteral("not a JSON object"));

    const QJsonObject object = document.object();
    const MemberReader receipt(object, QString(), &fault);
    auto receiptDocument = QSharedPointer<AbstractDocument>::create(
        receipt.integer(QStringLiteral("shopCode")), receipt.integer(QStringLiteral("cashCode")));
    const QString posId = receipt.has(QStringLiteral("posId"))
                              ? receipt.string(QStringLiteral("posId"))
                              : QString();
    const QSharedPointer<User> cashier = readCashier(receipt, object);
    if (receipt.has(QStringLiteral("sum")))
        receiptDocument->setSum(receipt.number(QStringLiteral("sum")));

    const QJsonArray positions = receipt.array(QStringLiteral("positions"));
    for (qsizetype i = 0; i < positions.size() && fault.isEmpty(); ++i)
        receiptDocument->addGoodsItem(readPosition(positions.at(i), int(i), &fault));

    const QJsonArray cards = receipt.has(QStringLiteral("cards"))
                                 ? receipt.array(QStringLiteral("cards"))
                                 : QJsonArray();
    for (qsizetype i = 0; i < cards.size() && fault.isEmpty(); ++i) {
        if (!cards.at(i).isString())
            fault = QStringLiteral("member \"cards[%1]\" is not a string").arg(i);
        receiptDocument->addCard(cards.at(i).toString());
    }

    if (!fault.isEmpty())
        return refuse(fault);
    if (session) {
        session->setPosId(posId);
        session->setCurrentUser(cashier);
        session->setDocument(receiptDocument);
    }
    return true;
}
