#include "SelfTest.h"

#include "SelfTestRuleChecks.h"
#include "SelfTestStateChecks.h"
#include "core/ClientPaths.h"
#include "core/PrivateFile.h"

#include <QDir>
#include <QUuid>

#include <functional>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

// The directory every check that writes files works in. Removed on every way out, also when a
// check fails halfway; a failure to remove it cannot change the verdict and is ignored.
class ScratchDirectory {
public:
    ScratchDirectory()
        : m_path(QDir::tempPath() + u"/velmora-save-self-test-"_s +
                 QUuid::createUuid().toString(QUuid::WithoutBraces)) {}
    ScratchDirectory(const ScratchDirectory &) = delete;
    ScratchDirectory &operator=(const ScratchDirectory &) = delete;
    ~ScratchDirectory() { QDir(m_path).removeRecursively(); }

    Status create() const { return PrivateFile::makeDirectories(m_path, 0700); }
    QString path(const QString &name) const { return m_path + u'/' + name; }

private:
    QString m_path;
};

} // namespace

Status runSelfTest(Console &console) {
    const ScratchDirectory scratch;
    if (Status created = scratch.create(); !created)
        return created;
    const ClientPaths paths(scratch.path(u"app-data"_s));
    if (Status ready = paths.ensure(); !ready)
        return ready;
    const QString pictures = scratch.path(u"Pictures"_s);

    using namespace SelfTestChecks;
    const std::function<Status()> checks[] = {
        menuBarIcon,
        versionMetadata,
        [&] { return savedCopy(paths, pictures); },
        [&] { return credentialStore(paths); },
        networkPreference,
        updatePreference,
        sessionProxy,
        originPolicy,
        updatePackages,
        inviteLinks,
        rewardStatus,
        rewardEligibility,
    };
    for (const std::function<Status()> &check : checks) {
        if (Status passed = check(); !passed)
            return passed;
    }
    console.print(u"self-test=ok"_s);
    return {};
}

} // namespace velmora
