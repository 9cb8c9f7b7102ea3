#pragma once

#include "core/Result.h"
#include "net/Messages.h"
#include "net/WallpaperAPIClient.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace velmora {

class Workspace;

// The rewards window: the current campaign, the codes issued to this device with a copy
// button each, the redemption QR image and page, and the invite link that earns a referral
// code. At most one request of the window is in flight at a time (`isBusy`); copying a code
// and opening the redemption page work in every state. Every answer arrives on the main thread
// and replaces the status line; a failure keeps the content last shown. Closing the window
// only hides it; answers still pending keep updating it while its owner holds it.
class RewardWindowController : public QWidget {
    Q_OBJECT

public:
    // The client in use at the time of each request: the owner may replace it (another proxy
    // mode) while the window lives. A request whose client goes away ends as a failure.
    using ClientProvider = std::function<WallpaperAPIClient *()>;

    RewardWindowController(ClientProvider client, Workspace &workspace, QWidget *parent = nullptr);
    ~RewardWindowController() override;

    // A visible window comes to the front unchanged; otherwise it is shown and loads, claiming
    // the base code when the campaign offers it.
    void showAndLoad();
    void loadRewards(bool claimBaseOnOpen);

    // The button actions.
    void refreshAction();
    void copyInviteAction();
    void claimReferralAction();
    // Copies the code at `index` of the status shown; any other index does nothing.
    void copyCodeAction(int index);
    void openRedemptionAction();

    bool isBusy() const { return m_busy; }
    const std::optional<ClientRewardStatusResponse> &status() const { return m_status; }

    // The parts a test or a screenshot looks at.
    QWidget *body() const { return m_document; }
    QLabel *message() const { return m_message; }
    QPushButton *refreshButton() const { return m_refreshButton; }
    QPushButton *inviteButton() const { return m_inviteButton; }
    QPushButton *referralButton() const { return m_referralButton; }
    const QList<QPushButton *> &codeButtons() const { return m_codeButtons; }

    static constexpr int qrSide = 184;
    // The most codes shown (and kept), newest first; a line counts the others.
    static constexpr std::size_t kShownCodes = 50;

private:
    void claim(RewardSource source);
    void finishFailedClaim(const QString &text);
    void render(ClientRewardStatusResponse answer);
    void updateButtons();
    void setMessage(const QString &text);
    static QString friendlyError(const Error &error);

    // Starts one call on the current client. `done` runs once, later, on the main thread: with
    // the answer, or with a failure when there is no client or the client went away first.
    template <typename T>
    void request(const std::function<void(WallpaperAPIClient &, Completion<T>)> &start,
                 std::function<void(Result<T>)> done);
    void endRequest();

    QWidget *makeCodesColumn(const ClientRewardStatusResponse &status);
    QWidget *makeRedemptionColumn(const ClientRewardStatusResponse &status);

    ClientProvider m_client;
    Workspace &m_workspace;
    // The last status shown, holding only the codes shown (see render).
    std::optional<ClientRewardStatusResponse> m_status;
    qint64 m_hiddenCodes = 0;
    bool m_busy = false;

    QWidget *m_document = nullptr;
    QVBoxLayout *m_body = nullptr;
    QLabel *m_message = nullptr;
    QPushButton *m_refreshButton = nullptr;
    QPushButton *m_inviteButton = nullptr;
    QPushButton *m_referralButton = nullptr;
    QList<QPushButton *> m_codeButtons;

    // The request in flight: its number and the watch on its client.
    quint64 m_request = 0;
    QMetaObject::Connection m_clientWatch;
};

} // namespace velmora
