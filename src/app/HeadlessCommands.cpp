#include "HeadlessCommands.h"

#include "agent/LoginAgent.h"
#include "core/DeviceIdentity.h"
#include "core/KeychainStore.h"
#include "core/MainLoop.h"
#include "core/Preferences.h"
#include "net/Enrolment.h"
#include "net/PromotionHandoff.h"
#include "net/WallpaperAPIClient.h"

#include <QUuid>

namespace velmora::HeadlessCommands {

namespace {

// The credential lines; the token is never among them.
void printCredential(const ActivationState &credential, const Print &print) {
    print(QStringLiteral("server=") + credential.serverBaseURL);
    print(QStringLiteral("device=") + credential.deviceName);
    print(QStringLiteral("deviceId=") + credential.deviceId.left(12) + QChar(0x2026));
}

QString enabledText(bool enabled) {
    return enabled ? QStringLiteral("enabled") : QStringLiteral("disabled");
}

} // namespace

Status registerDevice(const ClientPaths &paths, const std::optional<QString> &server,
                      const Print &print) {
    Result<ActivationState> credential = registerAutomatically(paths, server);
    if (!credential)
        return credential.error();
    if (Status saved = KeychainStore(paths).save(*credential); !saved)
        return saved;
    print(QStringLiteral("registered=yes"));
    printCredential(*credential, print);
    return {};
}

Status status(const ClientPaths &paths, const Print &print) {
    if (Status ready = paths.ensure(); !ready)
        return ready;
    const Result<std::optional<ActivationState>> credential = KeychainStore(paths).load();
    if (!credential)
        return credential.error();
    print(QStringLiteral("activated=") +
          (credential->has_value() ? QStringLiteral("yes") : QStringLiteral("no")));
    print(QStringLiteral("startup=") + enabledText(makeLoginAgent(paths)->isEnabled()));
    print(QStringLiteral("autoUpdate=") + enabledText(AutomaticUpdatePreference::isEnabled()));
    print(QStringLiteral("network=") + NetworkProxyMode::current().rawValue());
    if (*credential)
        printCredential(**credential, print);
    return {};
}

Status clear(const ClientPaths &paths, const Print &print) {
    if (Status cleared = KeychainStore(paths).clear(); !cleared)
        return cleared;
    // A private data directory never touches the agent of the real one.
    if (paths.isDefaultRoot()) {
        const std::unique_ptr<LoginAgent> agent = makeLoginAgent(paths);
        if (agent->isEnabled())
            (void)agent->setEnabled(false);
    }
    print(QStringLiteral("已清除本机服务凭证；下次运行会自动重新登记"));
    return {};
}

Status startupEnable(const ClientPaths &paths, const std::optional<QString> &server,
                     const Print &print) {
    const KeychainStore store(paths);
    const Result<std::optional<ActivationState>> credential = store.load();
    if (!credential)
        return credential.error();
    if (!*credential || !(*credential)->isUsable()) {
        Result<ActivationState> enrolled = registerAutomatically(paths, server);
        if (!enrolled)
            return enrolled.error();
        if (Status saved = store.save(*enrolled); !saved)
            return saved;
    }
    if (Status enabled = makeLoginAgent(paths)->setEnabled(true); !enabled)
        return enabled;
    print(QStringLiteral("已启用开机自动刷新"));
    return {};
}

Status startupDisable(const ClientPaths &paths, const Print &print) {
    if (!paths.isDefaultRoot())
        return ClientError::fileSystem(
            QStringLiteral("使用自定义 --app-data 时不会修改正式 LaunchAgent。"));
    if (Status disabled = makeLoginAgent(paths)->setEnabled(false); !disabled)
        return disabled;
    print(QStringLiteral("已关闭开机自动刷新"));
    return {};
}

Status startupStatus(const ClientPaths &paths, const Print &print) {
    print(enabledText(makeLoginAgent(paths)->isEnabled()));
    return {};
}

Status activateInvite(const ClientPaths &paths, const std::optional<QString> &server,
                      const QString &ticket, const Print &print) {
    if (Status ready = paths.ensure(); !ready)
        return ready;
    const std::optional<QString> normalized = PromotionHandoff::normalizeTicket(ticket);
    if (!normalized)
        return ClientError::malformedData(QStringLiteral("缺少有效的一次性邀请票据。"));

    const QString origin = chooseEnrolmentServer(server);
    const DeviceIdentity identity;
    const Result<QString> deviceId = identity.id(paths);
    if (!deviceId)
        return deviceId.error();
    Result<std::unique_ptr<WallpaperAPIClient>> client = WallpaperAPIClient::create(origin);
    if (!client)
        return client.error();

    const KeychainStore store(paths);
    // A fresh key per attempt: the service recognises a repeated delivery of this request,
    // never a later attempt.
    const QString idempotencyKey =
        QUuid::createUuid().toString(QUuid::WithoutBraces).remove(u'-').toUpper();
    bool done = false;
    std::optional<Error> failure;
    (*client)->activateByInvite(
        *normalized, *deviceId, identity.name(), idempotencyKey,
        // The enrolment is kept even when the invite step fails afterwards.
        [&store](const ActivationState &enrolled) { return store.save(enrolled); },
        [&](Result<ActivationState> activated) {
            if (!activated) {
                failure = activated.error();
            } else if (Status saved = store.save(*activated); !saved) {
                failure = saved.error();
            } else {
                print(QStringLiteral("activated=yes"));
                printCredential(*activated, print);
            }
            done = true;
        });
    runMainLoopUntil([&done] { return done; });
    if (failure)
        return *failure;
    return {};
}

} // namespace velmora::HeadlessCommands
