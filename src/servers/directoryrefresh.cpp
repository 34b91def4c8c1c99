#include "directoryrefresh.h"

#include "foundation/logtag.h"
#include "foundation/utils.h"
#include "servers/networkapi.h"
#include "servers/serverlistmodel.h"

#include <algorithm>

DirectoryRefresh::DirectoryRefresh(NetworkApi* api, ServerListModel* model, QObject* parent)
    : QObject(parent)
    , api(api)
    , model(model)
{
    setObjectName(QStringLiteral("DirectoryRefresh"));
    listRetry.timer.setSingleShot(true);
    ipRetry.timer.setSingleShot(true);
    connect(&listRetry.timer, &QTimer::timeout, api, &NetworkApi::requestServerFeed);
    connect(&ipRetry.timer, &QTimer::timeout, api, &NetworkApi::requestCurrentIpAddress);
    connect(api, &NetworkApi::requestServerListFinished, this, &DirectoryRefresh::onServerListFinished);
    connect(api, &NetworkApi::requestCurrentIpAddressFinished, this, &DirectoryRefresh::onCurrentIpAddressFinished);
}

void DirectoryRefresh::setRetryDelays(int firstMilliseconds, int longestMilliseconds)
{
    firstDelay = firstMilliseconds;
    longestDelay = longestMilliseconds;
}

void DirectoryRefresh::start()
{
    api->requestServerList();
}

void DirectoryRefresh::onTunnelChanged()
{
    succeeded(listRetry);
    api->requestServerFeed();
    if (ipRetry.timer.isActive()) {
        succeeded(ipRetry);
        api->requestCurrentIpAddress();
    }
}

void DirectoryRefresh::onServerListFinished(const Servers& servers)
{
    if (!servers.isEmpty()) {
        succeeded(listRetry);
        model->setUnavailable(false);
        model->updateServerList(servers);
        return;
    }
    if (model->rowCount() > 0) {
        tagged(qInfo(), objectName()) << "No new server list, keeping the " << model->rowCount() << " servers";
        return;
    }
    model->setUnavailable(true);
    failed(listRetry, "Server list");
}

void DirectoryRefresh::onCurrentIpAddressFinished(const QString& ip, const QString& countryCode)
{
    const bool known
        = !countryCode.isEmpty() && ip != Utils::anyAddress() && (Utils::isIpv4Address(ip) || Utils::isIpv6Address(ip));
    if (known) {
        succeeded(ipRetry);
    } else {
        failed(ipRetry, "Current IP address");
    }
}

void DirectoryRefresh::failed(Retry& retry, const char* what)
{
    retry.delay = retry.delay == 0 ? firstDelay : std::min(retry.delay * 2, longestDelay);
    tagged(qInfo(), objectName()) << what << " unavailable, asking again in " << retry.delay << " ms";
    retry.timer.start(retry.delay);
}

void DirectoryRefresh::succeeded(Retry& retry)
{
    retry.timer.stop();
    retry.delay = 0;
}
