#pragma once

#include <QStringList>

// The host's start-up with the plug-in, once, in a process that has not loaded it yet: the
// benchmark runs itself with Option to time what a till pays when it starts.
class StartupProbe
{
public:
    static constexpr char Option[] = "--startup-probe";

    // Loads the plug-in through QPluginLoader, creates the processing and initialises it with the
    // configuration and queue files given; prints the nanoseconds it took. The exit code is 0
    // when the processing came up.
    static int run(const QString &configPath, const QString &queuePath);

    // The benchmark's arguments for a probe of that configuration.
    static QStringList arguments(const QString &configPath, const QString &queuePath);
};
