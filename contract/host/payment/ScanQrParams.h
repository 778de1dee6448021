#pragma once

#include "host/Tr.h"

#include <QList>
#include <QRegularExpression>
#include <QString>

// The host's scan dialog; a new record carries the host's defaults. Only the fields the plug-in
// sets have names here.
class ScanQrParams
{
public:
    tr::Tr scanTitle;
    tr::Tr scanMessage;
    tr::Tr scanError;
    QList<QRegularExpression> codePatterns;
    QString imagePath;
};
