// The tunnel client's handling of what arrives on OpenVPN's management port, in pieces as the
// socket may deliver them. The first byte sets the piece size.
#include "fuzzsupport.h"
#include "openvpn/openvpnclient.h"

namespace {

class Client : public OpenVpnClient
{
public:
    using OpenVpnClient::consumeManagementData;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    if (size == 0) {
        return 0;
    }
    const int piece = 1 + data[0];
    const QByteArray stream = fuzz::bytes(data + 1, size - 1);
    Client client;
    client.setCredentials(QStringLiteral("user"), QStringLiteral("pass\"word\\"));
    for (int at = 0; at < stream.size(); at += piece) {
        client.consumeManagementData(stream.mid(at, piece));
    }
    return 0;
}
