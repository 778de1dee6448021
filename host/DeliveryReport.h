#pragma once

// What one delivery round of a queue did.
struct DeliveryReport
{
    int delivered = 0; // the handler took them; removed from the queue
    int failed = 0;    // the handler refused them; kept, their attempts counted
};
