// The parser of the "route print" listing, whatever the command printed.
#include "fuzzsupport.h"
#include "platform/adapters.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    const QString listing = QString::fromUtf8(fuzz::bytes(data, size));
    const NetworkAdapters adapters = AdapterDiscovery::parseRouteListing(listing);
    fuzz::require(adapters.size() <= listing.count(QLatin1Char('\n')) + 1);
    return 0;
}
