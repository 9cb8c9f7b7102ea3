// The menu-bar application at rest, against a bare Qt tray application measured in the same run:
// launch until the tray item is registered with the panel, resident memory after launch and
// after one refresh of a 3840×2160 JPEG, and CPU time over a minute of idling.
//
//   velmora_tray_bench <VelmoraWallpaper> <velmora_bare_tray> [idle seconds, default 60]
#include "support/Server.h"
#include "tools/devservice/DevService.h"
#include "tools/trayhost/StatusNotifierHost.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace velmora;

namespace {

double residentMegabytes(qint64 pid) {
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

// User plus system time, in clock ticks.
long cpuTicks(qint64 pid) {
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.value(11).toLong() + fields.value(12).toLong();
}

void pump(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

QByteArray largeJpeg() {
    QImage image(3840, 2160, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qRgb((x * 255) / 3840, (y * 255) / 2160, (x ^ y) & 0xff);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    image.save(&buffer, "JPEG", 90);
    return bytes;
}

struct Launch {
    std::unique_ptr<QProcess> process;
    double registeredMs = -1;
};

Launch launch(test::StatusNotifierHost &host, const QProcessEnvironment &environment,
              const QString &program, const QStringList &arguments) {
    Launch run{std::make_unique<QProcess>()};
    run.process->setProcessEnvironment(environment);
    QElapsedTimer timer;
    timer.start();
    run.process->start(program, arguments);
    const QString before = host.itemService();
    while (timer.elapsed() < 20000 &&
           (host.itemService().isEmpty() || host.itemService() == before))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    if (!host.itemService().isEmpty() && host.itemService() != before)
        run.registeredMs = double(timer.nsecsElapsed()) / 1e6;
    return run;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication application(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <VelmoraWallpaper> <velmora_bare_tray> [idle seconds]\n",
                     argv[0]);
        return 2;
    }
    const QString client = QString::fromLocal8Bit(argv[1]);
    const QString bare = QString::fromLocal8Bit(argv[2]);
    const int idleSeconds = argc > 3 ? std::atoi(argv[3]) : 60;

    QTemporaryDir work;
    const std::unique_ptr<test::Server> xvfb = test::startVirtualDisplay("3840x2160x24");
    if (xvfb->address().isEmpty()) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    QProcessEnvironment base = QProcessEnvironment::systemEnvironment();
    base.insert(u"HOME"_s, work.filePath(u"home"_s));
    base.insert(u"XDG_CONFIG_HOME"_s, work.filePath(u"home/.config"_s));
    // One panel each, so each registration is the first its panel sees.
    test::StatusNotifierHost baselineHost(base);
    test::StatusNotifierHost velmoraHost(base);
    if (!baselineHost.isRunning() || !velmoraHost.isRunning()) {
        std::fprintf(stderr, "no tray host: %s\n", qPrintable(baselineHost.lastError()));
        return 1;
    }
    const auto environment = [&](const test::StatusNotifierHost &host) {
        QProcessEnvironment environment = host.environment();
        environment.insert(u"DISPLAY"_s, u':' + QString::fromLatin1(xvfb->address()));
        environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        for (const char *name : {"WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION"})
            environment.remove(QString::fromLatin1(name));
        return environment;
    };

    dev::DevService service;
    if (!service.start())
        return 1;
    service.setTodayWallpaper(u"large.jpg"_s, largeJpeg(), u"image/jpeg"_s);
    // The first-use question is answered already: the launch goes straight to the refresh.
    const QString data = work.filePath(u"data"_s);
    QDir().mkpath(data);
    QFile::setPermissions(data, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile(data + u"/startup-prompt-v1"_s).open(QIODevice::WriteOnly);

    Launch baseline = launch(baselineHost, environment(baselineHost), bare, {});
    pump(1000);
    const double baselineRss = residentMegabytes(baseline.process->processId());

    Launch velmora = launch(velmoraHost, environment(velmoraHost), client,
                            {u"--server"_s, service.origin(), u"--app-data"_s, data});
    const double launchRss = residentMegabytes(velmora.process->processId());
    QElapsedTimer waited;
    waited.start();
    while (!QFile::exists(data + u"/last-wallpaper.json"_s) && waited.elapsed() < 60000)
        pump(50);
    pump(2000);
    const double refreshRss = residentMegabytes(velmora.process->processId());

    const long baselineBefore = cpuTicks(baseline.process->processId());
    const long velmoraBefore = cpuTicks(velmora.process->processId());
    pump(idleSeconds * 1000);
    const long baselineIdle = cpuTicks(baseline.process->processId()) - baselineBefore;
    const long velmoraIdle = cpuTicks(velmora.process->processId()) - velmoraBefore;

    std::printf("tray: launch to registered item   VelmoraWallpaper %.0f ms, bare Qt tray %.0f ms "
                "(%.2fx)\n",
                velmora.registeredMs, baseline.registeredMs,
                velmora.registeredMs / baseline.registeredMs);
    std::printf("tray: resident memory              after launch %.1f MB, after a 3840x2160 "
                "refresh %.1f MB; bare Qt tray %.1f MB (%.2fx)\n",
                launchRss, refreshRss, baselineRss, refreshRss / baselineRss);
    std::printf("tray: CPU over %d s idle           VelmoraWallpaper %ld ticks, bare Qt tray %ld "
                "ticks (%ld per second)\n",
                idleSeconds, velmoraIdle, baselineIdle, sysconf(_SC_CLK_TCK));
    for (Launch *run : {&baseline, &velmora}) {
        run->process->terminate();
        run->process->waitForFinished(3000);
    }
    return 0;
}
