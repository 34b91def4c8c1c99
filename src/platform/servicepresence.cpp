// What both sides share: whose the service's port and the connection to it are, from SocketOwner
// (Linux: sock_diag; Windows: the TCP table's owning process and its token).
#include "servicepresence.h"

#include "foundation/socketowner.h"

namespace {

PortHolder holderOf(const SocketOwner& owner, QString* holder)
{
    if (owner.isSystemOrSelf()) {
        return PortHolder::Service;
    }
    *holder = owner.known ? owner.id : owner.reason;
    return owner.known ? PortHolder::Other : PortHolder::Nobody;
}

} // namespace

PortHolder servicePortHolder(quint16 port, QString* holder)
{
    return holderOf(SocketOwner::ofListener(port), holder);
}

PortHolder serviceConnectionHolder(quint16 localPort, quint16 port, QString* holder)
{
    return holderOf(SocketOwner::ofConnection(localPort, port), holder);
}
