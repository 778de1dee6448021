#include "host/MockRegistry.h"

#include <QByteArray>
#include <QHash>
#include <QMutex>

namespace {

struct Registry
{
    QMutex mutex;
    QHash<QByteArray, void *> substitutes;
};

Registry &registry()
{
    static Registry instance;
    return instance;
}

} // namespace

void *MockRegistry::substitute(const std::type_info &type)
{
    Registry &r = registry();
    QMutexLocker locker(&r.mutex);
    return r.substitutes.value(QByteArray(type.name()));
}

void MockRegistry::setSubstitute(const std::type_info &type, void *object)
{
    Registry &r = registry();
    QMutexLocker locker(&r.mutex);
    if (object)
        r.substitutes.insert(QByteArray(type.name()), object);
    else
        r.substitutes.remove(QByteArray(type.name()));
}
