#include "SelfTestStateChecks.h"

#include "core/ClientConstants.h"
#include "core/KeychainStore.h"
#include "core/Preferences.h"
#include "core/PrivateFile.h"
#include "core/UserDefaults.h"
#include "net/FileHasher.h"
#include "platform/Bundle.h"
#include "wallpaper/WallpaperStore.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QUuid>

#include <optional>

using namespace Qt::StringLiterals;

namespace velmora::SelfTestChecks {

namespace {

QString freshUuid() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

Status failed(const QString &message) {
    return ClientError::malformedData(message);
}

// A defaults suite of its own, empty when the checks start and removed when they end, so that
// neither a leftover of an earlier run nor this one's values survive.
class ThrowAwaySuite {
public:
    explicit ThrowAwaySuite(const QString &purpose)
        : m_name(ClientConstants::selfTestSuitePrefix + u"wallpaper."_s + purpose + u'.' +
                 freshUuid())
        , m_defaults(UserDefaults::suite(m_name)) {
        m_defaults.removePersistentDomain();
    }
    ThrowAwaySuite(const ThrowAwaySuite &) = delete;
    ThrowAwaySuite &operator=(const ThrowAwaySuite &) = delete;
    ~ThrowAwaySuite() { m_defaults.removePersistentDomain(); }

    // Whether the suite can be kept at all. A store that cannot be written keeps values in
    // memory only, and every check after this one would pass without proving anything.
    bool isUsable() const {
        const QString file = m_defaults.fileName();
        if (file.isEmpty())
            return false;
        const QFileInfo folder(QFileInfo(file).absolutePath());
        return QDir().mkpath(folder.absoluteFilePath()) && folder.isDir() && folder.isWritable();
    }

    UserDefaults &defaults() { return m_defaults; }
    // A second handle on the same suite: what another process would read.
    UserDefaults reopened() const { return UserDefaults::suite(m_name); }

private:
    QString m_name;
    UserDefaults m_defaults;
};

} // namespace

Status menuBarIcon() {
    const std::optional<QString> icon = Bundle::resource(u"AppIcon"_s, u"png"_s);
    const QImage image = icon ? QImage(*icon) : QImage();
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return failed(u"菜单栏品牌图标资源缺失"_s);
    return {};
}

Status versionMetadata() {
    if (Bundle::infoString(u"CFBundleShortVersionString"_s) != ClientConstants::currentVersion)
        return failed(u"客户端代码版本与 App 元数据不一致"_s);
    return {};
}

Status savedCopy(const ClientPaths &paths, const QString &pictures) {
    const QString message = u"一键保存今日壁纸自检失败"_s;
    const QByteArray bytes("\x01\x02\x03\x04\x05\x06\x07\x08", 8);
    const QString cached = paths.wallpapers() + u"/test.png"_s;
    if (Status written = PrivateFile::writeAtomically(cached, bytes); !written)
        return written;
    const Result<QString> digest = FileHasher::sha256(cached, FileHasher::Links::Refuse);
    if (!digest)
        return digest.error();

    const QString title = u"林知远_雨后西湖"_s;
    const WallpaperMetadata metadata{
        1,       u"2026-08-31"_s, title + u".png"_s, u"image/png"_s, bytes.size(),
        *digest, u"/test.png"_s};
    const WallpaperStore store(paths);
    const Result<QString> first = store.saveCopy(metadata, cached, pictures);
    if (!first)
        return first.error();
    const Result<QString> second = store.saveCopy(metadata, cached, pictures);
    if (!second)
        return second.error();

    // Saving the same wallpaper again must find the first copy rather than add "(1)".
    const QFileInfo copy(*first);
    if (*second != *first ||
        ClientPaths::standardized(copy.absolutePath()) != ClientPaths::standardized(pictures) ||
        !copy.fileName().startsWith(metadata.effectiveDate + u'_' + title))
        return failed(message);
    const Result<QByteArray> copied = PrivateFile::readNoFollow(*first, bytes.size() + 1);
    if (!copied || *copied != bytes)
        return failed(message);
    return {};
}

Status credentialStore(const ClientPaths &paths) {
    const ActivationState saved{ClientConstants::officialServer, u"self-test-device"_s,
                                u"Self Test Mac"_s, u"self-test-token-not-for-any-service"_s,
                                u"2026-08-31T00:00:00Z"_s};
    const KeychainStore store(paths, u"self-test-"_s + freshUuid());
    if (Status stored = store.save(saved); !stored)
        return stored;
    const std::optional<PrivateFile::Attributes> file =
        PrivateFile::inspect(paths.activationFallback());
    if (!file || !file->isRegularFile || file->isLoose() ||
        !PrivateFile::inspect(paths.credentialStorageMarker()))
        return failed(u"本地激活凭证存储自检失败"_s);
    const Result<std::optional<ActivationState>> loaded = store.load();
    if (!loaded)
        return loaded.error();
    if (*loaded != saved)
        return failed(u"本地激活凭证存储自检失败"_s);

    if (Status cleared = store.clear(); !cleared)
        return cleared;
    if (PrivateFile::inspect(paths.activationFallback()))
        return failed(u"清除激活凭证自检失败"_s);
    const Result<std::optional<ActivationState>> afterClear = store.load();
    if (!afterClear)
        return afterClear.error();
    if (afterClear->has_value())
        return failed(u"清除激活凭证自检失败"_s);
    return {};
}

Status networkPreference() {
    ThrowAwaySuite suite(u"proxy-self-test"_s);
    if (!suite.isUsable())
        return failed(u"无法创建网络设置自检环境"_s);
    if (NetworkProxyMode::load(suite.defaults()) != NetworkProxyMode::System)
        return failed(u"网络设置默认值自检失败"_s);
    NetworkProxyMode(NetworkProxyMode::Direct).save(suite.defaults());
    if (NetworkProxyMode::load(suite.reopened()) != NetworkProxyMode::Direct)
        return failed(u"网络设置持久化自检失败"_s);
    suite.defaults().setString(ClientConstants::proxyModeDefaultsKey, u"invalid"_s);
    if (NetworkProxyMode::load(suite.reopened()) != NetworkProxyMode::System)
        return failed(u"网络设置损坏回退自检失败"_s);
    return {};
}

Status updatePreference() {
    ThrowAwaySuite suite(u"update-self-test"_s);
    if (!suite.isUsable())
        return failed(u"无法创建自动更新设置自检环境"_s);
    if (!AutomaticUpdatePreference::isEnabled(suite.defaults()))
        return failed(u"自动更新默认值自检失败"_s);
    AutomaticUpdatePreference::setEnabled(false, suite.defaults());
    if (AutomaticUpdatePreference::isEnabled(suite.reopened()))
        return failed(u"自动更新关闭状态自检失败"_s);
    AutomaticUpdatePreference::setEnabled(true, suite.defaults());
    AutomaticUpdatePreference::setLastOpenedVersion(u"9.9.9"_s, suite.defaults());
    const UserDefaults stored = suite.reopened();
    if (!AutomaticUpdatePreference::isEnabled(stored) ||
        AutomaticUpdatePreference::lastOpenedVersion(stored) != u"9.9.9"_s)
        return failed(u"自动更新设置持久化自检失败"_s);
    return {};
}

} // namespace velmora::SelfTestChecks
