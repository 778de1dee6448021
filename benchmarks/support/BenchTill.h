#pragma once

#include "sim/Simulator.h"

#include <QPluginLoader>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class BasicSbpProcessing;

namespace zorvikcpqr {
class Interface;
}

// A till for benchmarks: the host's session and queue in a temporary directory, the simulator
// on a loopback port, and the plug-in's configuration file pointed at it, with no wait before
// or between status requests. Host singletons are process-wide: one till at a time.
class BenchTill
{
public:
    BenchTill();
    ~BenchTill();

    BenchTill(const BenchTill &) = delete;
    BenchTill &operator=(const BenchTill &) = delete;

    // Empty when the till is ready; otherwise what went wrong.
    QString errorString() const { return m_errorString; }

    // The plug-in module built beside the benchmark.
    static QString pluginPath();
    // Where the host's fixed path of the plug-in's configuration leads in this till.
    QString configPath() const;
    QString queuePath() const;

    zorviksim::Simulator &simulator() { return m_simulator; }

    // The plug-in loaded through QPluginLoader and a processing object from its factory,
    // initialised; null, with errorString() set, when that fails.
    BasicSbpProcessing *processing();

    // A service client set up from the plug-in's configuration file, like the plug-in's own.
    std::unique_ptr<zorvikcpqr::Interface> createClient() const;

    // Points the host's fixed configuration path at that file and gives the host a session and
    // a queue; what a till has done before it loads a payment plug-in.
    static void prepareHost(const QString &configPath, const QString &queuePath);
    static void releaseHost();

private:
    bool writeConfiguration();

    QTemporaryDir m_dir;
    zorviksim::Simulator m_simulator;
    QPluginLoader m_loader;
    std::unique_ptr<BasicSbpProcessing> m_processing;
    QString m_errorString;
};
