// Hashing and verified download of a large file, each against the standard tools doing the same
// work in the same run: `openssl dgst -sha256` for hashing, `curl -o` followed by
// `openssl dgst -sha256` for download and verification. Prints throughput and ratios
// (baseline time / our time: above 1 means faster than the baseline).
#include "net/FileHasher.h"
#include "net/WallpaperAPIClient.h"
#include "tools/devservice/DevService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace Qt::StringLiterals;
using namespace velmora;

namespace {

constexpr int kRounds = 3;

// Best of `kRounds` wall-clock runs, in seconds.
double best(const std::function<bool()> &work) {
    double fastest = 1e30;
    for (int round = 0; round < kRounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        if (!work()) {
            std::fprintf(stderr, "bench: a run failed\n");
            std::exit(1);
        }
        fastest = std::min(fastest, timer.nsecsElapsed() / 1e9);
    }
    return fastest;
}

bool runTool(const QString &program, const QStringList &arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

void report(const char *what, double mebibytes, double ours, double baseline,
            const char *baselineName) {
    std::printf("%-34s ours %7.3f s (%7.1f MiB/s)   %s %7.3f s (%7.1f MiB/s)   ratio %.2fx\n", what,
                ours, mebibytes / ours, baselineName, baseline, mebibytes / baseline,
                baseline / ours);
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const qint64 size = (argc > 1 ? QByteArray(argv[1]).toLongLong() : 256) * 1024 * 1024;
    const double mebibytes = double(size) / (1024 * 1024);
    QTemporaryDir work;
    const QString input = work.filePath(u"payload.bin"_s);
    {
        QFile file(input);
        file.open(QIODevice::WriteOnly);
        QByteArray chunk(1 << 20, Qt::Uninitialized);
        for (qint64 written = 0; written < size; written += chunk.size()) {
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(chunk.data()),
                                                  chunk.size() / 4);
            file.write(chunk);
        }
    }
    std::printf("payload: %.0f MiB, best of %d runs each\n", mebibytes, kRounds);

    QString digest;
    const double oursHash = best([&] {
        const Result<QString> result = FileHasher::sha256(input);
        digest = result.ok() ? *result : QString();
        return result.ok();
    });
    const double opensslHash = best([&] {
        return runTool(u"openssl"_s, {u"dgst"_s, u"-sha256"_s, input});
    });
    report("SHA-256 of the file", mebibytes, oursHash, opensslHash, "openssl");

    dev::DevService service;
    dev::UpdatePackage package = dev::DevService::syntheticUpdate(u"9.9.9"_s, 1);
    package.filePath = input;
    package = *service.setUpdatePackage(package);
    if (!service.start()) {
        std::fprintf(stderr, "bench: the development service did not start\n");
        return 1;
    }
    auto client =
        WallpaperAPIClient::create(service.origin(), std::nullopt, NetworkProxyMode::Direct)
            .value();
    std::optional<Result<ActivationState>> enrolled;
    client->registerDevice(QString(64, u'b'), u"bench"_s,
                           [&](Result<ActivationState> r) { enrolled = r; });
    while (!enrolled)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    client->useActivation(enrolled->value());
    const QString url = service.origin() + package.downloadPath;
    const QString destination = work.filePath(u"ours.bin"_s);

    const double oursDownload = best([&] {
        std::optional<Result<QString>> done;
        client->download(
            package.downloadPath, package.sha256, destination, [&](Result<QString> r) { done = r; },
            WallpaperAPIClient::maximumUpdateBytes);
        while (!done)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return done->ok();
    });
    const QString curlOut = work.filePath(u"curl.bin"_s);
    const ActivationState &credential = *client->activation();
    const double curlDownload = best([&] {
        return runTool(u"curl"_s, {u"-sf"_s, u"-o"_s, curlOut, u"-H"_s,
                                   u"Authorization: Bearer "_s + credential.token, u"-H"_s,
                                   u"X-Device-Id: "_s + credential.deviceId, url}) &&
               runTool(u"openssl"_s, {u"dgst"_s, u"-sha256"_s, curlOut});
    });
    report("download + verify over loopback", mebibytes, oursDownload, curlDownload,
           "curl+openssl");
    return digest == package.sha256 ? 0 : 1;
}
