#include "Refresh.h"

#include "core/KeychainStore.h"
#include "core/MainLoop.h"
#include "core/Preferences.h"
#include "net/Enrolment.h"
#include "net/ServerURL.h"
#include "net/WallpaperAPIClient.h"

#include <memory>

namespace velmora {

namespace {

// One run of the pipeline once the credential and the client are settled. Every path through
// it ends in finish(), exactly once.
class RefreshRun {
public:
    RefreshRun(WallpaperAPIClient &client, WallpaperStore &store,
               const std::function<void(const QString &)> &print)
        : m_client(client)
        , m_store(store)
        , m_print(print) {}

    Status run() {
        m_client.fetchToday(
            [this](Result<WallpaperMetadata> today) { onDescriptor(std::move(today)); });
        runMainLoopUntil([this] { return m_finished; });
        if (m_error)
            return *m_error;
        return {};
    }

private:
    void onDescriptor(Result<WallpaperMetadata> today) {
        if (!today)
            return fallBack(today.error());
        const WallpaperMetadata metadata = *today;
        const QString cached = m_store.cachedURL(metadata);
        if (WallpaperStore::isValidCache(cached, metadata.sha256))
            return apply(metadata, cached);
        m_client.download(metadata.downloadURL, metadata.sha256, cached,
                          [this, metadata](Result<QString> file) {
                              if (!file)
                                  return finish(file.error());
                              apply(metadata, *file);
                          });
    }

    void apply(const WallpaperMetadata &metadata, const QString &file) {
        if (Status set = m_store.setDesktopWallpaper(file, DisplayMode::current()); !set)
            return finish(set.error());
        m_store.remember(metadata, file);
        m_store.pruneCache();
        m_print(QStringLiteral("已设置壁纸：") + file + QStringLiteral("（") +
                metadata.effectiveDate + QStringLiteral("）"));
        finish();
    }

    // The service cannot tell us today's wallpaper: keep showing the last verified one.
    void fallBack(const Error &fetchError) {
        const std::optional<WallpaperStore::LastVerified> last = m_store.lastVerifiedWallpaper();
        if (!last)
            return finish(fetchError);
        if (Status set = m_store.setDesktopWallpaper(last->path, DisplayMode::current()); !set)
            return finish(set.error());
        m_print(QStringLiteral("服务器暂时不可用，沿用壁纸：") + last->path + QStringLiteral("（") +
                last->date + QStringLiteral("）"));
        finish();
    }

    void finish(std::optional<Error> error = std::nullopt) {
        m_error = std::move(error);
        m_finished = true;
    }

    WallpaperAPIClient &m_client;
    WallpaperStore &m_store;
    const std::function<void(const QString &)> &m_print;
    bool m_finished = false;
    std::optional<Error> m_error;
};

} // namespace

Status runRefresh(const ClientPaths &paths, const std::optional<QString> &serverOverride,
                  const std::function<void(const QString &)> &print,
                  WallpaperStore::DesktopFactory desktop) {
    if (Status ready = paths.ensure(); !ready)
        return ready;

    const KeychainStore credentials(paths);
    Result<std::optional<ActivationState>> loaded = credentials.load();
    if (!loaded)
        return loaded.error();
    ActivationState credential;
    if (*loaded && (*loaded)->isUsable()) {
        credential = **loaded;
    } else {
        Result<ActivationState> enrolled = registerAutomatically(paths, serverOverride);
        if (!enrolled)
            return enrolled.error();
        if (Status saved = credentials.save(*enrolled); !saved)
            return saved;
        credential = *enrolled;
    }

    // A credential is only ever sent to the origin that issued it.
    const Result<QString> requested =
        ServerURL::normalize(serverOverride.value_or(credential.serverBaseURL));
    if (!requested)
        return requested.error();
    const Result<QString> own = ServerURL::normalize(credential.serverBaseURL);
    if (!own)
        return own.error();
    if (!ServerURL::equalOrigin(QUrl(*requested), QUrl(*own)))
        return ClientError::invalidServer(
            QStringLiteral("当前服务器与本机凭证不一致，请重新登记。"));

    Result<std::unique_ptr<WallpaperAPIClient>> client =
        WallpaperAPIClient::create(*own, credential, NetworkProxyMode::current());
    if (!client)
        return client.error();
    WallpaperStore store(paths, std::move(desktop));
    return RefreshRun(**client, store, print).run();
}

} // namespace velmora
