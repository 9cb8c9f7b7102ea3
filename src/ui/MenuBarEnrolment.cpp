// Enrolment without a code, "重新连接服务", and invite links and tickets.
#include "MenuBarController.h"

#include "core/ClientConstants.h"
#include "core/ClientError.h"
#include "net/PromotionHandoff.h"
#include "net/WallpaperAPIClient.h"
#include "usecases/EnsureCredential.h"
#include "usecases/InviteAssociation.h"

using namespace Qt::StringLiterals;

namespace velmora {

QString MenuBarController::enrolmentServer() const {
    if (m_context.serverOverride)
        return *m_context.serverOverride;
    if (const std::optional<QString> stored = m_context.defaults.string(u"serverBaseURL"_s))
        return *stored;
    if (qEnvironmentVariableIsSet("VELMORA_SERVER"))
        return qEnvironmentVariable("VELMORA_SERVER");
    return ClientConstants::officialServer;
}

bool MenuBarController::useCredential(const ActivationState &credential) {
    m_activation = credential;
    Result<std::unique_ptr<WallpaperAPIClient>> client = clientForCredential(m_context, credential);
    if (!client) {
        showError(client.error());
        return false;
    }
    m_api = std::move(*client);
    updateMenu();
    return true;
}

void MenuBarController::beginAutomaticRegistration(bool showSuccess,
                                                   std::function<void()> afterConnection) {
    if (m_busy)
        return;
    // Nothing is sent when this device cannot say who it is or the origin is refused.
    if (Result<EnrolmentClient> ready = enrolmentClient(m_context, enrolmentServer()); !ready)
        return showError(ready.error());
    setBusy(true);
    auto *job = new EnsureCredential(m_context, EnsureCredential::Policy::EnrolAgain,
                                     enrolmentServer(), this);
    job->start([this, job, showSuccess,
                afterConnection = std::move(afterConnection)](Result<ActivationState> enrolled) {
        job->deleteLater();
        setBusy(false);
        if (!enrolled)
            return showError(enrolled.error());
        if (!useCredential(*enrolled))
            return;
        if (afterConnection)
            return afterConnection();
        const auto next = [this] {
            promptForStartupIfNeeded([this](bool) { refreshWallpaper(true); });
        };
        if (showSuccess)
            return showInfo(u"连接成功"_s, u"客户端已自动连接，无需激活码。"_s, next);
        next();
    });
}

void MenuBarController::openURLs(const QList<QUrl> &urls) {
    for (const QUrl &url : urls) {
        if (const std::optional<QString> ticket =
                PromotionHandoff::parseURI(url.toString(QUrl::FullyEncoded)))
            return beginInviteActivation(*ticket);
        // The rest of the link may carry a ticket: only its scheme is kept.
        log(u"忽略无效邀请链接："_s + url.scheme());
    }
}

void MenuBarController::beginInviteActivation(const QString &input) {
    if (m_busy)
        return showError(ClientError::malformedData(u"客户端正在处理上一项操作，请稍后再试。"_s));
    const std::optional<QString> ticket = PromotionHandoff::normalizeTicket(input);
    if (!ticket)
        return showError(ClientError::malformedData(u"邀请链接已损坏或无效。"_s));

    const auto associate = [this, ticket = *ticket] {
        if (m_busy)
            return showError(
                ClientError::malformedData(u"客户端正在处理上一项操作，请稍后再试。"_s));
        if (Result<EnrolmentClient> ready = enrolmentClient(m_context, enrolmentServer()); !ready)
            return showError(ready.error());
        setBusy(true);
        auto *job = new InviteAssociation(m_context, ticket, enrolmentServer(), this);
        // The new device's credential is kept even if redeeming the invite fails afterwards.
        job->setOnRegistered([this](const ActivationState &registered) {
            m_activation = registered;
            if (Result<std::unique_ptr<WallpaperAPIClient>> client =
                    clientForCredential(m_context, registered))
                m_api = std::move(*client);
            updateMenu();
        });
        job->start([this, job](Result<ActivationState> associated) {
            job->deleteLater();
            setBusy(false);
            if (!associated) {
                return showError(associated.error(), [this] {
                    if (!m_activation)
                        return beginAutomaticRegistration(false);
                    refreshWallpaper(false);
                });
            }
            if (!useCredential(*associated))
                return;
            showInfo(u"邀请关联成功"_s, u"已记录推广来源，现在尝试设置今日壁纸。"_s, [this] {
                promptForStartupIfNeeded([this](bool) { refreshWallpaper(true); });
            });
        });
    };

    if (!m_activation)
        return associate();
    m_presenter.showAlert(
        {Alert::Style::Informational,
         u"关联此邀请来源？"_s,
         u"客户端无需激活码即可使用；继续后会把当前设备关联到该推广渠道。"_s,
         {u"继续"_s, u"取消"_s},
         {}},
        [associate, guard = QPointer<MenuBarController>(this)](const AlertAnswer &answer) {
            if (guard && answer.button == 0)
                associate();
        });
}

} // namespace velmora
