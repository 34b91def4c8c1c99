// The server feed parser, on any body the API host (or whoever answers in its place) sends.
#include "fuzzsupport.h"
#include "servers/networkapi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    const Servers servers = NetworkApi::parseServerList(QString::fromUtf8(fuzz::bytes(data, size)));
    fuzz::require(servers.size() <= static_cast<int>(size));
    return 0;
}
