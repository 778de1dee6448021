#include "processing/RequestCodec.h"

#include <QMetaProperty>

namespace zorvikcpqr {

QJsonObject requestToJson(const PaymentProcessingRequest &request)
{
    const QMetaObject &metaObject = PaymentProcessingRequest::staticMetaObject;
    QVariantMap properties;
    for (int index = 0; index < metaObject.propertyCount(); ++index) {
        const QMetaProperty property = metaObject.property(index);
        properties.insert(QString::fromLatin1(property.name()), property.readOnGadget(&request));
    }
    return QJsonObject::fromVariantMap(properties);
}

PaymentProcessingRequest requestFromVariantMap(const QVariantMap &map)
{
    const QMetaObject &metaObject = PaymentProcessingRequest::staticMetaObject;
    PaymentProcessingRequest request;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const int index = metaObject.indexOfProperty(it.key().toLatin1().constData());
        if (index >= 0)
            metaObject.property(index).writeOnGadget(&request, it.value());
    }
    return request;
}

} // namespace zorvikcpqr
