// Any text as the order-comment mask, expanded by the host formatter against the sources of the
// open receipt, as the API client does for every order.

#include "fuzz/FuzzHost.h"

#include "host/DocumentLogic.h"
#include "host/SimpleFormatter.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzhost::prepare();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const SimpleFormatter formatter;
    formatter.format(fuzzhost::text(data, size), DocumentLogic().getFormatterSources({}), 0, {});
    return 0;
}
