// The client's reading of the service's status lines.
#include "fuzzsupport.h"
#include "service/servicemessage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const ServiceMessage message = ServiceMessage::parse(QString::fromUtf8(fuzz::bytes(data, size)));
    fuzz::require(message.kind == ServiceMessage::None || message.kind == ServiceMessage::Started
        || message.kind == ServiceMessage::Finished);
    return 0;
}
