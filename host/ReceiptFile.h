#pragma once

#include <QString>

class Session;

// Reads a receipt file (JSON) into a session: till, cashier and the open receipt.
//   {"shopCode": 12, "cashCode": 3, "posId": "0003", "cashierId": 42, "sum": 150.5,
//    "positions": [{"barcode": "...", "posnum": 1, "name": "...", "quantity": 1.5,
//                   "sum": 100.0}],
//    "cards": ["7700123"]}
// "sum" is optional and defaults to the sum of the positions.
class ReceiptFile
{
public:
    // False with a message naming the file and the fault; the session is then unchanged.
    static bool load(const QString &path, Session *session, QString *errorMessage);
    // The same for receipt JSON already in memory; the message names the source.
    static bool
    parse(const QByteArray &json, const QString &source, Session *session, QString *errorMessage);
};
