#include "VerifiedDownload.h"

#include "FileHasher.h"
#include "ReplyClassification.h"
#include "core/PrivateFile.h"
#include "platform/SystemError.h"

#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>

#include <memory>
#include <optional>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace velmora::VerifiedDownload {

namespace {

// An error answer's message needs only its beginning; the rest is read and dropped, so a
// hostile service cannot make the client hold an endless body.
constexpr qsizetype kErrorBodyLimit = 1024 * 1024;

struct Transfer {
    QString destination;
    qint64 limit = 0;
    // Made when the first bytes of a successful answer arrive: a refused or failed download
    // leaves nothing on disk, not even the directory.
    std::optional<StagingFile> staging;
    std::optional<Error> stagingFailure;
    qint64 received = 0;
    bool tooLarge = false;
    Sha256 hash;
    QByteArray errorBody;
    // One reused buffer: a large download is not copied into a new array per chunk.
    QByteArray buffer = QByteArray(256 * 1024, Qt::Uninitialized);

    bool ensureStaging() {
        if (!staging && !stagingFailure) {
            Result<StagingFile> made = prepare(destination);
            if (made)
                staging.emplace(std::move(made).value());
            else
                stagingFailure = made.error();
        }
        return staging.has_value();
    }
};

void receiveBytes(QNetworkReply *reply, Transfer &transfer) {
    const std::optional<int> status = ReplyClassification::httpStatus(reply);
    if (!status || !ReplyClassification::isSuccess(*status)) {
        const QByteArray bytes = reply->readAll();
        if (transfer.errorBody.size() < kErrorBodyLimit)
            transfer.errorBody += bytes.left(kErrorBodyLimit - transfer.errorBody.size());
        return;
    }
    if (!transfer.ensureStaging())
        return reply->abort();
    qint64 got = 0;
    while (transfer.staging->error() == 0 &&
           (got = reply->read(transfer.buffer.data(), transfer.buffer.size())) > 0) {
        // The announced length is the service's word and not compared; the ceiling is ours.
        transfer.received += got;
        if (transfer.received > transfer.limit) {
            transfer.tooLarge = true;
            return reply->abort();
        }
        if (transfer.staging->write(transfer.buffer.constData(), got))
            transfer.hash.update(transfer.buffer.constData(), got);
        else
            return reply->abort();
    }
}

Result<QString> finish(const QNetworkReply *reply, Transfer &transfer, const QString &expected,
                       NetworkProxyMode proxyMode) {
    // Moved out so that, whatever the outcome, no staging file is left once the caller hears
    // of it; otherwise it would last until the reply's deferred deletion.
    std::optional<StagingFile> staging = std::move(transfer.staging);
    transfer.staging.reset();
    const QString &destination = transfer.destination;
    if (transfer.stagingFailure)
        return *transfer.stagingFailure;
    if (staging && staging->error() != 0)
        return Error::foreign(platform::describeSystemError(staging->error(), destination));
    if (transfer.tooLarge)
        return ClientError::malformedData(
            u"下载内容超过 %1 MB 的上限，已停止下载。"_s.arg(transfer.limit >> 20));
    const Status answer =
        ReplyClassification::outcome(reply, transfer.errorBody, u"下载失败"_s, proxyMode);
    if (!answer)
        return answer.error();
    if (!expected.isEmpty() && !sameDigest(transfer.hash.finalHex(), expected))
        return ClientError::malformedData(u"壁纸文件校验失败，已保留当前桌面。"_s);
    if (!staging) {
        // A successful answer without a body.
        if (!transfer.ensureStaging())
            return *transfer.stagingFailure;
        staging = std::move(transfer.staging);
    }
    // Not flushed: a cached file is hashed again before any later use, so one torn by a crash
    // is fetched anew, and a large download need not wait for the disk.
    if (Status moved = staging->commit(StagingFile::Durability::Unflushed); !moved)
        return moved.error();
    return destination;
}

} // namespace

Result<StagingFile> prepare(const QString &destination) {
    const QFileInfo target(destination);
    if (Status made = PrivateFile::makeDirectories(target.absolutePath()); !made)
        return made.error();
    // A staging file of the fixed name may be left over from an interrupted older download.
    ::unlink(QFile::encodeName(target.absoluteFilePath() + u".download"_s).constData());
    return StagingFile::create(destination, QByteArrayLiteral(".download"));
}

void receive(QNetworkReply *reply, const QString &destination, qint64 maximumBytes,
             const QString &expectedSHA256, NetworkProxyMode proxyMode, QObject *context,
             std::function<void(Result<QString>)> completion) {
    auto transfer = std::make_shared<Transfer>();
    transfer->destination = QFileInfo(destination).absoluteFilePath();
    transfer->limit = maximumBytes;
    QObject::connect(reply, &QNetworkReply::readyRead, context,
                     [reply, transfer] { receiveBytes(reply, *transfer); });
    QObject::connect(reply, &QNetworkReply::finished, context,
                     [reply, transfer, expectedSHA256, proxyMode, completion] {
                         reply->deleteLater();
                         completion(finish(reply, *transfer, expectedSHA256, proxyMode));
                     });
}

} // namespace velmora::VerifiedDownload
