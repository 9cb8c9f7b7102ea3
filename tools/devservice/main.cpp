// velmora-devservice: serves the client API on loopback until SIGINT or SIGTERM.
// The first line on standard output is the origin to point the client at.

#include "DevService.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <map>

int main(int argc, char **argv) {
    // Block the stop signals before any thread exists, so every thread inherits the mask and
    // only the sigwait below receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-devservice"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Loopback development service for VelmoraWallpaper."));
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Port (0 or absent: any free port)."),
                                  QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption data(QStringLiteral("data"),
                                  QStringLiteral("Directory for the service's state."),
                                  QStringLiteral("DIR"));
    const QCommandLineOption wallpapers(
        QStringLiteral("wallpapers"),
        QStringLiteral("Images to serve, one per day (default: bundled samples)."),
        QStringLiteral("DIR"));
    const QCommandLineOption cert(QStringLiteral("tls-cert"),
                                  QStringLiteral("PEM certificate: serve HTTPS."),
                                  QStringLiteral("FILE"));
    const QCommandLineOption key(QStringLiteral("tls-key"),
                                 QStringLiteral("PEM private key for --tls-cert."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption update(
        QStringLiteral("update-version"),
        QStringLiteral("Offer a generated update package of this version."),
        QStringLiteral("VERSION"));
    const QCommandLineOption invites(
        QStringLiteral("invites"),
        QStringLiteral("Print this many one-time invite links after the origin."),
        QStringLiteral("N"), QStringLiteral("0"));
    // The reward campaign in the state a rewards window should show.
    const QCommandLineOption rewardsOff(
        QStringLiteral("rewards-disabled"),
        QStringLiteral("Serve the reward campaign as switched off."));
    const QCommandLineOption unlisted(
        QStringLiteral("reward-unlisted"),
        QStringLiteral("Serve reward statuses without a campaign id."));
    const QCommandLineOption stock(QStringLiteral("reward-stock"),
                                   QStringLiteral("Codes left in the campaign (0: out of stock)."),
                                   QStringLiteral("N"));
    const QCommandLineOption qr(
        QStringLiteral("reward-qr"),
        QStringLiteral("The redemption QR image: generated, absent or undecodable."),
        QStringLiteral("KIND"), QStringLiteral("generated"));
    const QCommandLineOption redemption(QStringLiteral("redemption-url"),
                                        QStringLiteral("Redemption address, served as given."),
                                        QStringLiteral("URL"));
    const QCommandLineOption invitations(
        QStringLiteral("reward-invitations"),
        QStringLiteral("Successful invitations credited to every device (referral codes)."),
        QStringLiteral("N"), QStringLiteral("0"));
    parser.addOptions({port, data, wallpapers, cert, key, update, invites, rewardsOff, unlisted,
                       stock, qr, redemption, invitations});
    parser.process(app);
    const std::map<QString, velmora::dev::DevService::RewardQr> qrKinds{
        {QStringLiteral("generated"), velmora::dev::DevService::RewardQr::Generated},
        {QStringLiteral("absent"), velmora::dev::DevService::RewardQr::Absent},
        {QStringLiteral("undecodable"), velmora::dev::DevService::RewardQr::Undecodable}};
    if (!qrKinds.count(parser.value(qr))) {
        std::fprintf(stderr, "velmora-devservice: invalid --reward-qr\n");
        return 2;
    }

    bool portOk = false;
    const int portNumber = parser.value(port).toInt(&portOk);
    if (!portOk || portNumber < 0 || portNumber > 65535) {
        std::fprintf(stderr, "velmora-devservice: invalid --port\n");
        return 2;
    }
    if (parser.isSet(cert) != parser.isSet(key)) {
        std::fprintf(stderr, "velmora-devservice: --tls-cert and --tls-key go together\n");
        return 2;
    }

    velmora::dev::DevService::Options options;
    options.dataDir = parser.value(data);
    options.wallpaperDir = parser.value(wallpapers);
    options.certFile = parser.value(cert);
    options.keyFile = parser.value(key);
    velmora::dev::DevService service(options);
    if (parser.isSet(update)) {
        // One package for each platform's clients.
        velmora::dev::UpdatePackage mac =
            velmora::dev::DevService::syntheticUpdate(parser.value(update));
        service.setUpdatePackage(mac);
        velmora::dev::UpdatePackage deb = mac;
        deb.platform = QStringLiteral("linux");
        deb.fileName.clear();
        deb.contentType = QStringLiteral("application/vnd.debian.binary-package");
        service.setUpdatePackage(deb);
    }
    service.setRewardsEnabled(!parser.isSet(rewardsOff));
    service.setRewardCampaignListed(!parser.isSet(unlisted));
    if (parser.isSet(stock))
        service.setRewardStock(parser.value(stock).toInt());
    service.setRewardQr(qrKinds.at(parser.value(qr)));
    if (parser.isSet(redemption))
        service.setRewardRedemptionUrl(parser.value(redemption));
    service.setRewardInvitationBonus(parser.value(invitations).toInt());
    if (service.todayWallpaper().id == 0)
        std::fprintf(stderr, "velmora-devservice: warning: no wallpaper images found\n");
    if (!service.start(portNumber)) {
        std::fprintf(stderr, "velmora-devservice: cannot listen on 127.0.0.1:%d\n", portNumber);
        return 1;
    }

    std::printf("%s\n", qPrintable(service.origin()));
    for (int i = 0; i < parser.value(invites).toInt(); ++i)
        std::printf("velmora://activate?ticket=%s\n", qPrintable(service.createInviteTicket()));
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    service.stop();
    return 0;
}
