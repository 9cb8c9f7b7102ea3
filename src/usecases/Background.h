#pragma once

#include "net/FileHasher.h"

#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <functional>
#include <memory>
#include <optional>

namespace velmora {

// Runs `work` on a pool thread and hands its result to `done` on the thread of `owner` (the
// main thread), later, never inside this call. When `owner` is destroyed first, `done` never
// runs; the work still finishes, so everything it uses must be owned by the work itself.
// For the calls that can hold a thread for long: the desktop setter, the keychain lookup, file
// hashing and copying.
template <typename T>
void runInBackground(QObject *owner, std::function<T()> work, std::function<void(T)> done) {
    auto result = std::make_shared<std::optional<T>>();
    auto *watcher = new QFutureWatcher<void>(owner);
    QObject::connect(watcher, &QFutureWatcher<void>::finished, watcher,
                     [watcher, result, done = std::move(done)] {
                         watcher->deleteLater();
                         done(std::move(**result));
                     });
    watcher->setFuture(QtConcurrent::run([result, work = std::move(work)] {
        result->emplace(work());
        FileHasher::releaseThreadState();
    }));
}

// Hands `result` to `done` later on the thread of `owner`, never inside the current call (also
// for a failure found before anything was sent), and not at all once `owner` is gone.
template <typename T>
void deliverLater(QObject *owner, const std::function<void(T)> &done, T result) {
    QMetaObject::invokeMethod(
        owner, [done, result = std::move(result)] { done(result); }, Qt::QueuedConnection);
}

// Wraps a completion handed to something the job does not own (a client shared with others):
// once `owner` is gone, the completion does nothing.
template <typename F> auto whileAlive(QObject *owner, F completion) {
    return [guard = QPointer<QObject>(owner), completion = std::move(completion)](auto &&...args) {
        if (guard)
            completion(std::forward<decltype(args)>(args)...);
    };
}

} // namespace velmora
