#pragma once

#include <QJsonObject>
#include <QPluginLoader>
#include <QString>

#include <memory>

class AbstractProcessingFactory;
class BasicSbpProcessing;

// Loads a processing plug-in as the host does: the loader, the factory from the plug-in's
// root object, one processing object from the factory, initialised.
class PluginHost
{
public:
    PluginHost();
    ~PluginHost();

    // The plug-in built beside this tool.
    static QString defaultPluginPath();

    // False with a message naming the plug-in and the fault.
    bool load(const QString &path, QString *errorMessage);

    QJsonObject metaData() const { return m_loader.metaData(); }
    AbstractProcessingFactory *factory() const { return m_factory; }
    BasicSbpProcessing *processing() const { return m_processing.get(); }
    // The processing's QObject side, for its meta-object.
    QObject *processingObject() const;

private:
    QPluginLoader m_loader;
    AbstractProcessingFactory *m_factory = nullptr;
    std::unique_ptr<BasicSbpProcessing> m_processing;
};
