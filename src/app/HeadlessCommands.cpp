#include "HeadlessCommands.h"

#include "StatusReport.h"
#include "agent/LoginAgent.h"
#include "core/PlatformWords.h"
#include "usecases/EnsureCredential.h"
#include "usecases/InviteAssociation.h"
#include "usecases/RefreshJob.h"

#include <QEventLoop>

#include <optional>

using namespace Qt::StringLiterals;

namespace velmora::HeadlessCommands {

namespace {

// The one place a headless command waits: it starts a job and turns the event loop until the
// job hands over its result (always later, never inside `start`).
template <typename T, typename Start> T waitFor(Start start) {
    std::optional<T> outcome;
    QEventLoop loop;
    start([&](T result) {
        outcome.emplace(std::move(result));
        loop.quit();
    });
    if (!outcome)
        loop.exec();
    return std::move(*outcome);
}

Result<ActivationState> ensureCredential(const ClientContext &context,
                                         EnsureCredential::Policy policy) {
    EnsureCredential job(context, policy, context.enrolmentServer());
    return waitFor<Result<ActivationState>>(
        [&job](Completion<ActivationState> done) { job.start(std::move(done)); });
}

void print(const ClientContext &context, const QString &line) {
    context.console->print(line);
}

QString enabledText(bool enabled) {
    return enabled ? u"enabled"_s : u"disabled"_s;
}

void printCredential(const ClientContext &context, const ActivationState &credential) {
    velmora::printCredential(*context.console, credential);
}

} // namespace

Status refresh(const ClientContext &context) {
    const Result<ActivationState> credential =
        ensureCredential(context, EnsureCredential::Policy::Reuse);
    if (!credential)
        return credential.error();
    Result<std::unique_ptr<WallpaperAPIClient>> client =
        clientForCredential(context, *credential, context.serverOverride);
    if (!client)
        return client.error();

    RefreshJob job(context, **client);
    const RefreshResult result = waitFor<RefreshResult>(
        [&job](std::function<void(RefreshResult)> done) { job.start(std::move(done)); });
    if (result.error)
        return *result.error;
    const QString line =
        result.shown->today ? u"已设置壁纸："_s : u"服务器暂时不可用，沿用壁纸："_s;
    print(context, line + result.shown->file + u"（"_s + result.shown->date + u"）"_s);
    return {};
}

Status registerDevice(const ClientContext &context) {
    const Result<ActivationState> credential =
        ensureCredential(context, EnsureCredential::Policy::EnrolAgain);
    if (!credential)
        return credential.error();
    print(context, u"registered=yes"_s);
    printCredential(context, *credential);
    return {};
}

Status status(const ClientContext &context) {
    return printStatus(context.paths, *context.credentials, *context.loginAgent, context.defaults,
                       *context.console);
}

Status clear(const ClientContext &context) {
    if (Status cleared = context.credentials->clear(); !cleared)
        return cleared;
    // A private data directory never touches the agent of the real one.
    if (context.paths.isDefaultRoot() && context.loginAgent->isEnabled())
        (void)context.loginAgent->setEnabled(false);
    print(context, u"已清除本机服务凭证；下次运行会自动重新登记"_s);
    return {};
}

Status startupEnable(const ClientContext &context) {
    const Result<ActivationState> credential =
        ensureCredential(context, EnsureCredential::Policy::Reuse);
    if (!credential)
        return credential.error();
    if (Status enabled = context.loginAgent->setEnabled(true); !enabled)
        return enabled;
    print(context, u"已启用开机自动刷新"_s);
    return {};
}

Status startupDisable(const ClientContext &context) {
    if (!context.paths.isDefaultRoot())
        return ClientError::fileSystem(currentPlatformWords().customDataKeepsAgent.toString());
    if (Status disabled = context.loginAgent->setEnabled(false); !disabled)
        return disabled;
    print(context, u"已关闭开机自动刷新"_s);
    return {};
}

Status startupStatus(const ClientContext &context) {
    print(context, enabledText(context.loginAgent->isEnabled()));
    return {};
}

Status activateInvite(const ClientContext &context, const QString &ticket) {
    InviteAssociation job(context, ticket, context.enrolmentServer());
    const Result<ActivationState> activated = waitFor<Result<ActivationState>>(
        [&job](Completion<ActivationState> done) { job.start(std::move(done)); });
    if (!activated)
        return activated.error();
    print(context, u"activated=yes"_s);
    printCredential(context, *activated);
    return {};
}

} // namespace velmora::HeadlessCommands
