#pragma once

#include <QStringList>

// What one delivery round of a queue did.
struct DeliveryReport
{
    int delivered = 0; // the handler took them; removed from the queue
    int failed = 0;    // the handler refused them; kept, their attempts counted
    // What went wrong with the queue itself on the way: a message that could not be listed,
    // claimed, released or removed stays for a later round (one taken but not removed comes
    // back to its handler).
    QStringList errors;
};
