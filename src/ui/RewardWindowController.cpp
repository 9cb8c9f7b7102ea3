#include "RewardWindowController.h"

#include "Workspace.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

const QString kTitle = u"获取红包口令"_s;
const QString kLoading = u"正在读取红包活动…"_s;
const QString kUpdated = u"已更新。已领口令可随时在这里查看。"_s;
const QString kClaimingBase = u"正在领取红包口令…"_s;
const QString kClaimingReferral = u"正在领取邀请奖励口令…"_s;
const QString kClaimed = u"口令已领取，可复制后扫码前往小程序使用。"_s;
const QString kFetchingInvite = u"正在获取邀请链接…"_s;
const QString kInviteCopied = u"邀请链接已复制；朋友通过链接完成注册后，再刷新查看奖励资格。"_s;
const QString kInviteFailed = u"暂时无法获取邀请链接。"_s;
const QString kCodeCopied = u"口令已复制。"_s;

QFont sized(QFont font, qreal points, QFont::Weight weight) {
    font.setPointSizeF(points);
    font.setWeight(weight);
    return font;
}

} // namespace

RewardWindowController::RewardWindowController(ClientProvider client, Workspace &workspace,
                                               QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_client(std::move(client))
    , m_workspace(workspace) {
    setWindowTitle(kTitle);
    setMinimumSize(520, 620);

    auto *heading = new QLabel(kTitle, this);
    heading->setTextFormat(Qt::PlainText);
    heading->setWordWrap(true);
    heading->setFont(sized(font(), 22, QFont::DemiBold));

    auto *scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setWidgetResizable(true);
    scroll->viewport()->setAutoFillBackground(false);
    // The document fills the visible width and keeps its content at its top edge, however
    // tall the window is.
    m_document = new QWidget;
    m_document->setObjectName(u"body"_s);
    auto *document = new QVBoxLayout(m_document);
    document->setContentsMargins(2, 8, 12, 12);
    document->setSpacing(0);
    m_body = new QVBoxLayout;
    m_body->setSpacing(14);
    document->addLayout(m_body);
    document->addStretch(1);
    scroll->setWidget(m_document);
    m_document->setAutoFillBackground(false); // setWidget turned it on

    m_message = new QLabel(kLoading, this);
    m_message->setTextFormat(Qt::PlainText);
    m_message->setWordWrap(true);
    m_message->setFont(sized(font(), 12, QFont::Normal));
    QPalette secondary = m_message->palette();
    secondary.setColor(QPalette::WindowText, secondary.color(QPalette::PlaceholderText));
    m_message->setPalette(secondary);

    m_refreshButton = new QPushButton(u"刷新"_s, this);
    m_inviteButton = new QPushButton(u"复制邀请链接"_s, this);
    m_referralButton = new QPushButton(u"领取额外口令"_s, this);
    connect(m_refreshButton, &QPushButton::clicked, this, [this] { refreshAction(); });
    connect(m_inviteButton, &QPushButton::clicked, this, [this] { copyInviteAction(); });
    connect(m_referralButton, &QPushButton::clicked, this, [this] { claimReferralAction(); });
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    buttons->addWidget(m_refreshButton);
    buttons->addWidget(m_inviteButton);
    buttons->addWidget(m_referralButton);
    // The row keeps its natural width at the left; the right margin is the window's 24,
    // within the "at most 20" the row may come to the edge.
    buttons->addStretch(1);

    auto *content = new QVBoxLayout(this);
    content->setContentsMargins(24, 22, 24, 20);
    content->setSpacing(0);
    content->addWidget(heading);
    content->addSpacing(10);
    content->addWidget(scroll, 1);
    content->addSpacing(12);
    content->addWidget(m_message);
    content->addSpacing(12);
    content->addLayout(buttons);

    updateButtons();
    resize(580, 690);
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

RewardWindowController::~RewardWindowController() {
    disconnect(m_clientWatch);
}

void RewardWindowController::showAndLoad() {
    const bool wasVisible = isVisible();
    show();
    raise();
    activateWindow();
    if (!wasVisible)
        loadRewards(true);
}

template <typename T>
void RewardWindowController::request(
    const std::function<void(WallpaperAPIClient &, Completion<T>)> &start,
    std::function<void(Result<T>)> done) {
    const quint64 number = ++m_request;
    WallpaperAPIClient *client = m_client ? m_client() : nullptr;
    if (!client) {
        QTimer::singleShot(0, this, [this, number, done] {
            if (number == m_request)
                done(ClientError::missingActivation());
        });
        return;
    }
    // The owner may replace its client (another proxy mode) while a call is in flight; the
    // client then drops the answer, so the window ends the operation itself.
    disconnect(m_clientWatch);
    m_clientWatch = connect(client, &QObject::destroyed, this, [this, number, done] {
        if (number != m_request)
            return;
        endRequest();
        QTimer::singleShot(0, this, [done] { done(ClientError::missingActivation()); });
    });
    start(*client, [guard = QPointer(this), number, done](Result<T> result) {
        if (!guard || number != guard->m_request)
            return;
        guard->endRequest();
        done(std::move(result));
    });
}

void RewardWindowController::endRequest() {
    ++m_request;
    disconnect(m_clientWatch);
}

void RewardWindowController::loadRewards(bool claimBaseOnOpen) {
    if (m_busy)
        return;
    m_busy = true;
    setMessage(kLoading);
    updateButtons();
    request<ClientRewardStatusResponse>(
        [](WallpaperAPIClient &api, auto done) { api.fetchRewards(std::move(done)); },
        [this, claimBaseOnOpen](Result<ClientRewardStatusResponse> loaded) {
            m_busy = false;
            if (!loaded) {
                setMessage(friendlyError(loaded.error()));
                updateButtons();
                return;
            }
            render(std::move(*loaded));
            if (claimBaseOnOpen && m_status->shouldClaimBaseOnOpen()) {
                claim(RewardSource::Base);
                return;
            }
            setMessage(kUpdated);
            updateButtons();
        });
}

void RewardWindowController::refreshAction() {
    loadRewards(true);
}

void RewardWindowController::claimReferralAction() {
    claim(RewardSource::Referral);
}

void RewardWindowController::claim(RewardSource source) {
    if (m_busy || !m_status || !m_status->campaignId)
        return;
    const bool eligible = source == RewardSource::Referral ? m_status->canRequestReferral()
                                                           : m_status->shouldClaimBaseOnOpen();
    if (!eligible)
        return;
    m_busy = true;
    setMessage(source == RewardSource::Base ? kClaimingBase : kClaimingReferral);
    updateButtons();
    const QUuid campaign = *m_status->campaignId;
    request<ClientRewardStatusResponse>(
        [campaign, source](WallpaperAPIClient &api, auto done) {
            api.claimReward(campaign, source, std::move(done));
        },
        [this](Result<ClientRewardStatusResponse> claimed) {
            if (!claimed) {
                finishFailedClaim(friendlyError(claimed.error()));
                return;
            }
            render(std::move(*claimed));
            m_busy = false;
            setMessage(kClaimed);
            updateButtons();
        });
}

// A refused claim usually means the campaign moved on (stock gone, already claimed elsewhere):
// the window shows the campaign as it is now before it explains, and stays busy meanwhile.
void RewardWindowController::finishFailedClaim(const QString &text) {
    request<ClientRewardStatusResponse>(
        [](WallpaperAPIClient &api, auto done) { api.fetchRewards(std::move(done)); },
        [this, text](Result<ClientRewardStatusResponse> reloaded) {
            if (reloaded)
                render(std::move(*reloaded));
            m_busy = false;
            setMessage(text);
            updateButtons();
        });
}

void RewardWindowController::copyInviteAction() {
    if (m_busy)
        return;
    m_busy = true;
    setMessage(kFetchingInvite);
    updateButtons();
    request<ClientPromotionLinkResponse>(
        [](WallpaperAPIClient &api, auto done) { api.fetchPromotionLink(std::move(done)); },
        [this](Result<ClientPromotionLinkResponse> link) {
            m_busy = false;
            if (!link) {
                setMessage(kInviteFailed + friendlyError(link.error()));
            } else if (const Status copied = m_workspace.copyText(link->link); !copied) {
                setMessage(copied.error().description());
            } else {
                setMessage(kInviteCopied);
            }
            updateButtons();
        });
}

void RewardWindowController::copyCodeAction(int index) {
    if (!m_status || index < 0 || std::size_t(index) >= m_status->codes.size())
        return;
    const Status copied = m_workspace.copyText(m_status->codes[std::size_t(index)].code);
    setMessage(copied ? kCodeCopied : copied.error().description());
}

void RewardWindowController::openRedemptionAction() {
    if (!m_status)
        return;
    if (const std::optional<QUrl> url = m_status->safeRedemptionURL())
        m_workspace.openUrl(*url);
}

void RewardWindowController::updateButtons() {
    m_refreshButton->setEnabled(!m_busy);
    m_inviteButton->setEnabled(!m_busy && m_status && m_status->enabled);
    m_referralButton->setEnabled(!m_busy && m_status && m_status->canRequestReferral());
    for (QPushButton *button : std::as_const(m_codeButtons))
        button->setEnabled(true);
}

void RewardWindowController::setMessage(const QString &text) {
    m_message->setText(text);
}

QString RewardWindowController::friendlyError(const Error &error) {
    const ClientError *own = error.clientError();
    if (own && own->kind() == ClientError::Kind::Server) {
        switch (own->statusCode()) {
        case 401:
        case 403:
            return u"暂时无法验证本机，请在“帮助与维护”中重新连接服务后重试。"_s;
        case 404:
            return u"当前服务器暂未开放红包功能，请稍后再试。壁纸功能可继续使用。"_s;
        case 409:
        case 410:
            return own->text().isEmpty() ? u"活动状态或口令库存已变化，请刷新后查看。"_s
                                         : own->text();
        default:
            break;
        }
    }
    return error.description();
}

} // namespace velmora
