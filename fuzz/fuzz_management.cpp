// The tunnel client's handling of what arrives on OpenVPN's management port, in pieces as the
// socket may deliver them. The first byte sets the piece size.
#include "fuzzsupport.h"
#include "openvpn/managementdialogue.h"
#include "openvpn/managementlink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    if (size == 0) {
        return 0;
    }
    const int piece = 1 + data[0];
    const QByteArray stream = fuzz::bytes(data + 1, size - 1);
    ManagementLink link;
    ManagementDialogue dialogue(&link, QStringLiteral("OpenVpnClient"));
    dialogue.setCredentials(QStringLiteral("user"), QStringLiteral("pass\"word\\"));
    dialogue.setManagementSecret(QByteArrayLiteral("0123456789abcdef"));
    for (int at = 0; at < stream.size(); at += piece) {
        dialogue.consume(stream.mid(at, piece));
    }
    dialogue.finish();
    return 0;
}
