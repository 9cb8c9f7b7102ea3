#pragma once

// Shared set-up for tests that run the client against the embedded development service.

#include "net/WallpaperAPIClient.h"
#include "tools/devservice/DevService.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <memory>
#include <optional>

namespace velmora::test {

// Runs the event loop until the completion has delivered its result.
template <typename T>
Result<T> await(const std::function<void(Completion<T>)> &start, int timeoutMs = 20'000) {
    std::optional<Result<T>> outcome;
    start([&outcome](Result<T> result) { outcome.emplace(std::move(result)); });
    QElapsedTimer timer;
    timer.start();
    while (!outcome && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents, 50);
    if (!outcome)
        return ClientError::malformedData(
            QStringLiteral("test: no completion within the time limit"));
    return *outcome;
}

// Runs the event loop until `done` holds or the time is up; returns whether it holds.
inline bool pumpUntil(const std::function<bool()> &done, int timeoutMs = 20'000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents, 50);
    return done();
}

// The error a call failed with, or nothing when it succeeded.
template <typename T> std::optional<Error> failure(const Result<T> &result) {
    if (result.ok())
        return std::nullopt;
    return result.error();
}

inline QString describe(const Error &error) {
    return error.description();
}

class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        service = std::make_unique<dev::DevService>();
        ASSERT_TRUE(service->start());
    }

    // After every test: the credential went nowhere but the service that issued it.
    void TearDown() override {
        if (other) {
            for (const dev::RecordedRequest &request : other->requests()) {
                EXPECT_EQ(request.headers.count(QStringLiteral("authorization")), 0u)
                    << "the credential reached another origin: " << request.path.toStdString();
                EXPECT_EQ(request.headers.count(QStringLiteral("x-device-id")), 0u);
            }
        }
    }

    std::unique_ptr<WallpaperAPIClient>
    makeClient(std::optional<ActivationState> activation = std::nullopt,
               NetworkProxyMode mode = NetworkProxyMode::Direct) {
        auto client = WallpaperAPIClient::create(service->origin(), std::move(activation), mode);
        EXPECT_TRUE(client.ok());
        return std::move(client).value();
    }

    // A client holding a credential the service issued.
    std::unique_ptr<WallpaperAPIClient>
    enrolledClient(NetworkProxyMode mode = NetworkProxyMode::Direct) {
        auto client = makeClient(std::nullopt, mode);
        const Result<ActivationState> credential = await<ActivationState>([&](auto done) {
            client->registerDevice(
                QStringLiteral("0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef"),
                QStringLiteral("测试机"), done);
        });
        EXPECT_TRUE(credential.ok())
            << (credential.ok() ? "" : describe(credential.error()).toStdString());
        if (credential.ok())
            client->useActivation(*credential);
        service->clearRequests();
        return client;
    }

public:
    // A second service on another port, standing in for "another origin".
    dev::DevService &otherOrigin() {
        if (!other) {
            other = std::make_unique<dev::DevService>();
            EXPECT_TRUE(other->start());
        }
        return *other;
    }

protected:
    std::unique_ptr<dev::DevService> service;
    std::unique_ptr<dev::DevService> other;
};

} // namespace velmora::test
