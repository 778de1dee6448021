#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// The host's side of a fuzz run: what a till would have set up before the plug-in sees input.
namespace fuzzhost {

// Once per process: quiet logging and Qt messages, an open receipt in the host session and the
// host queue in a temporary folder.
void prepare();

// Starts a fresh barcode parser, so that the patterns registered by earlier inputs do not pile
// up over millions of runs.
void resetBarcodeParser();

QByteArray bytes(const uint8_t *data, size_t size);
QString text(const uint8_t *data, size_t size);

} // namespace fuzzhost
