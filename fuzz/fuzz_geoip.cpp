// The geo-IP reply parser.
#include "fuzzsupport.h"
#include "servers/networkapi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    QString ip;
    QString countryCode;
    QString error;
    if (!NetworkApi::parseGeoIp(fuzz::bytes(data, size), &ip, &countryCode, &error)) {
        fuzz::require(ip.isEmpty() && countryCode.isEmpty() && !error.isEmpty());
    }
    return 0;
}
