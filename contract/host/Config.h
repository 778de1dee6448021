#pragma once

#include "host/Singleton.h"

#include <QString>

// The host's configuration; a missing key yields the caller's default.
class Config
{
public:
    // What it returns is not known.
    void loadFile(const QString &path, const QString &text);
    QString getString(const QString &name, const QString &defaultValue) const;
    int getInt(const QString &name, int defaultValue) const;
};

template<>
Config *Singleton<Config>::instance;
