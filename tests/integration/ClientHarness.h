#pragma once

// Shared set-up for tests that run the client against the embedded development service.

#include "core/ClientPaths.h"
#include "net/WallpaperAPIClient.h"
#include "support/Run.h"
#include "support/Server.h"
#include "support/TempDir.h"
#include "tools/devservice/DevService.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <memory>
#include <optional>

namespace velmora::test {

inline const QString kTodayPath = QStringLiteral("/api/client/wallpaper/today");

// Runs the event loop until `done` holds or the time is up; returns whether it holds.
inline bool pumpUntil(const std::function<bool()> &done, int timeoutMs = 20'000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents, 50);
    return done();
}

// Runs a program on an X display to its end; the first line of its output, trimmed.
inline QString runOnDisplay(const QByteArray &display, const QString &program,
                            const QStringList &arguments) {
    const Ran ran = runToEnd(program, arguments, displayEnvironment(display), 5000);
    return QString::fromUtf8(ran.out).section(u'\n', 0, 0).trimmed();
}

// Waits for the window of that title and accepts it with Return, as a user taking its default
// button; false when none came or it stayed. A window may be found before it can take the
// focus, so Return is pressed until it is gone.
inline bool acceptWindow(const QByteArray &display, const QString &title) {
    bool seen = false;
    return pumpUntil([&] {
        const QString id =
            runOnDisplay(display, QStringLiteral("xdotool"),
                         {QStringLiteral("search"), QStringLiteral("--name"), title});
        if (id.isEmpty())
            return seen;
        seen = true;
        runOnDisplay(display, QStringLiteral("xdotool"),
                     {QStringLiteral("windowfocus"), QStringLiteral("--sync"), id,
                      QStringLiteral("key"), QStringLiteral("Return")});
        return false;
    });
}

// Runs the event loop until the completion has delivered its result.
template <typename T> Result<T> await(const std::function<void(Completion<T>)> &start) {
    std::optional<Result<T>> outcome;
    start([&outcome](Result<T> result) { outcome.emplace(std::move(result)); });
    if (!pumpUntil([&] { return outcome.has_value(); }))
        return ClientError::malformedData(QStringLiteral("test: no completion in time"));
    return *outcome;
}

class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        service = std::make_unique<dev::DevService>();
        ASSERT_TRUE(service->start());
    }

    // After every test: the credential went nowhere but the service that issued it.
    void TearDown() override {
        if (!other)
            return;
        for (const dev::RecordedRequest &request : other->requests())
            EXPECT_FALSE(request.headers.count(QStringLiteral("authorization")) ||
                         request.headers.count(QStringLiteral("x-device-id")))
                << "the credential reached another origin: " << request.path.toStdString();
    }

    std::unique_ptr<WallpaperAPIClient>
    makeClient(NetworkProxyMode mode = NetworkProxyMode::Direct) {
        return WallpaperAPIClient::create(service->origin(), std::nullopt, mode).value();
    }

    // A client holding a credential the service issued.
    std::unique_ptr<WallpaperAPIClient>
    enrolledClient(NetworkProxyMode mode = NetworkProxyMode::Direct) {
        auto client = makeClient(mode);
        client->useActivation(await<ActivationState>([&](auto done) {
                                  client->registerDevice(QString(64, u'0'),
                                                         QStringLiteral("测试机"), done);
                              }).value());
        service->clearRequests();
        return client;
    }

    // Today's answer names a new picture with a digest it cannot have: its download fails.
    void failTodaysDownloadCheck() {
        service->setTodayWallpaper(QStringLiteral("next.png"),
                                   QByteArray("\x89PNG\r\n\x1a\nnext", 12),
                                   QStringLiteral("image/png"));
        dev::Fault fault;
        fault.wrongDigest = true;
        service->setFault(kTodayPath, fault);
    }

    // A second service on another port, standing in for "another origin".
    dev::DevService &otherOrigin() {
        if (!other) {
            other = std::make_unique<dev::DevService>();
            EXPECT_TRUE(other->start());
        }
        return *other;
    }

    std::unique_ptr<dev::DevService> service;
    std::unique_ptr<dev::DevService> other;
};

// The built executable against the service, on an Xvfb display of its own, with a private data
// directory and a folder of stand-ins for the programs it runs. Skipped without Xvfb or one of
// `tools`.
class ExecutableTest : public ServiceTest {
protected:
    explicit ExecutableTest(const char *screen = "1280x800x24", QStringList tools = {})
        : xvfb(startVirtualDisplay(screen))
        , m_tools(std::move(tools) << QStringLiteral("Xvfb")) {}

    void SetUp() override {
        ServiceTest::SetUp();
        for (const QString &tool : m_tools)
            if (QStandardPaths::findExecutable(tool).isEmpty())
                GTEST_SKIP() << tool.toStdString()
                             << " is not installed (scripts/install-deps.sh installs it)";
        ASSERT_FALSE(xvfb->address().isEmpty()) << "Xvfb did not start";
    }

    // Starts the executable with `arguments` in `environment` (by default a session with only
    // the display), on the display and finding the stand-ins first.
    std::unique_ptr<QProcess> launch(const QStringList &arguments = {},
                                     QProcessEnvironment environment = {}) {
        if (environment.isEmpty())
            environment = displayEnvironment(xvfb->address());
        environment.insert(QStringLiteral("DISPLAY"), u':' + QString::fromLatin1(xvfb->address()));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("PATH"), temp.path(QStringLiteral("bin")) + u':' +
                                                       environment.value(QStringLiteral("PATH")));
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment);
        process->start(QStringLiteral(VELMORA_EXECUTABLE),
                       QStringList{QStringLiteral("--server"), service->origin(),
                                   QStringLiteral("--app-data"), paths.root()} +
                           arguments);
        return process;
    }

    // A stand-in for a program the executable runs: a shell script of `body`.
    bool standIn(const QString &name, const QByteArray &body) {
        const QString bin = temp.path(QStringLiteral("bin"));
        return QDir().mkpath(bin) && writeFile(bin + u'/' + name, "#!/bin/sh\n" + body, 0755);
    }

    bool accept(const QString &title) { return acceptWindow(xvfb->address(), title); }

    std::unique_ptr<Server> xvfb;
    TempDir temp;
    ClientPaths paths{temp.path(QStringLiteral("data"))};

private:
    QStringList m_tools;
};

} // namespace velmora::test
