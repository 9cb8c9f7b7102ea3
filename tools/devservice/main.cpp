// velmora-devservice: serves the client API on loopback until SIGINT or SIGTERM.
// The first line on standard output is the origin to point the client at.

#include "DevService.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <map>

using namespace Qt::StringLiterals;

int main(int argc, char **argv) {
    // Block the stop signals before any thread exists, so every thread inherits the mask and
    // only the sigwait below receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"velmora-devservice"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(u"Loopback development service for VelmoraWallpaper."_s);
    parser.addHelpOption();
    const QCommandLineOption port(u"port"_s, u"Port (0 or absent: any free port)."_s, u"N"_s,
                                  u"0"_s);
    const QCommandLineOption data(u"data"_s, u"Directory for the service's state."_s, u"DIR"_s);
    const QCommandLineOption wallpapers(
        u"wallpapers"_s, u"Images to serve, one per day (default: bundled samples)."_s, u"DIR"_s);
    const QCommandLineOption cert(u"tls-cert"_s, u"PEM certificate: serve HTTPS."_s, u"FILE"_s);
    const QCommandLineOption key(u"tls-key"_s, u"PEM private key for --tls-cert."_s, u"FILE"_s);
    const QCommandLineOption update(
        u"update-version"_s, u"Offer a generated update package of this version."_s, u"VERSION"_s);
    const QCommandLineOption invites(
        u"invites"_s, u"Print this many one-time invite links after the origin."_s, u"N"_s, u"0"_s);
    // The reward campaign in the state a rewards window should show.
    const QCommandLineOption rewardsOff(u"rewards-disabled"_s,
                                        u"Serve the reward campaign as switched off."_s);
    const QCommandLineOption unlisted(u"reward-unlisted"_s,
                                      u"Serve reward statuses without a campaign id."_s);
    const QCommandLineOption stock(u"reward-stock"_s,
                                   u"Codes left in the campaign (0: out of stock)."_s, u"N"_s);
    const QCommandLineOption qr(u"reward-qr"_s,
                                u"The redemption QR image: generated, absent or undecodable."_s,
                                u"KIND"_s, u"generated"_s);
    const QCommandLineOption redemption(u"redemption-url"_s,
                                        u"Redemption address, served as given."_s, u"URL"_s);
    const QCommandLineOption invitations(
        u"reward-invitations"_s,
        u"Successful invitations credited to every device (referral codes)."_s, u"N"_s, u"0"_s);
    parser.addOptions({port, data, wallpapers, cert, key, update, invites, rewardsOff, unlisted,
                       stock, qr, redemption, invitations});
    parser.process(app);
    const std::map<QString, velmora::dev::DevService::RewardQr> qrKinds{
        {u"generated"_s, velmora::dev::DevService::RewardQr::Generated},
        {u"absent"_s, velmora::dev::DevService::RewardQr::Absent},
        {u"undecodable"_s, velmora::dev::DevService::RewardQr::Undecodable}};
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
        deb.platform = u"linux"_s;
        deb.fileName.clear();
        deb.contentType = u"application/vnd.debian.binary-package"_s;
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
