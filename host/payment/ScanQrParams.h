#pragma once

#include "host/Tr.h"

#include <QHash>
#include <QList>
#include <QRegularExpression>
#include <QString>

// How the host's code-scan dialog looks and what it accepts.
struct ScanQrParams
{
    bool manualInput = false;
    bool cameraInput = false;
    tr::Tr scanTitle;
    tr::Tr scanMessage;
    tr::Tr scanError;
    QList<QRegularExpression> codePatterns;
    QString imagePath;
    bool skipAllowed = false;
    tr::Tr okButtonText{QStringLiteral("markingCodeScanButtonOk"),
                        QStringLiteral("Без маркировки")};
    tr::Tr cancelButtonText{QStringLiteral("cancelButton"), QStringLiteral("Отмена")};
    bool okButtonVisible = false;
    int minCodeLength = 6;
    int maxAttempts = 3;
    QHash<QString, QString> texts;
    bool cancelButtonVisible = true;
    bool fullScreen = false;
    QString errorStyleSheet = QStringLiteral("background-color: rgb(255, 53, 53);");
    bool beepOnError = true;
    tr::Tr hintText;
};
