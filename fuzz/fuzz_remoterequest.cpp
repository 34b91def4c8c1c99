// The client's reading of the command line's request lines: whatever is accepted writes back as
// the same line.
#include "fuzzsupport.h"
#include "protocol/remoteprotocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray line = fuzz::bytes(data, size);
    const RemoteProtocol::Parsed parsed = RemoteProtocol::parseRequest(line);
    if (parsed.ok) {
        const QByteArray again = RemoteProtocol::requestLine(parsed.request.word, parsed.request.arguments);
        fuzz::require(RemoteProtocol::parseRequest(again.chopped(1)).request.arguments == parsed.request.arguments);
    } else {
        fuzz::require(!parsed.error.isEmpty());
    }
    return 0;
}
