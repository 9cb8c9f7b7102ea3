#include "SessionConfiguration.h"

#include "ServerURL.h"

#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

class SystemProxyFactory final : public QNetworkProxyFactory {
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override {
        // A loopback service is on this machine: a proxy would only see the bearer token (in
        // clear text for http), never reach anything it could not reach itself.
        if (ServerURL::isLoopbackHost(query.peerHostName().toLower()))
            return {QNetworkProxy(QNetworkProxy::NoProxy)};
        return systemProxyForQuery(query);
    }
};

} // namespace

SessionConfiguration SessionConfiguration::make(NetworkProxyMode mode) {
    SessionConfiguration configuration;
    configuration.proxyMode = mode;
    if (mode == NetworkProxyMode::Direct) {
        configuration.connectionProxyDictionary = QMap<QString, bool>{
            {u"HTTPEnable"_s, false},
            {u"HTTPSEnable"_s, false},
            {u"SOCKSEnable"_s, false},
            {u"ProxyAutoConfigEnable"_s, false},
            {u"ProxyAutoDiscoveryEnable"_s, false},
        };
    }
    return configuration;
}

void SessionConfiguration::applyTo(QNetworkAccessManager &manager) const {
    if (connectionProxyDictionary) {
        // An explicit proxy setting makes the manager skip every proxy factory.
        manager.setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    } else {
        manager.setProxyFactory(new SystemProxyFactory);
    }
    manager.setCache(nullptr);
}

} // namespace velmora
