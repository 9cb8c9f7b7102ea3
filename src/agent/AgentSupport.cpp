#include "AgentSupport.h"

#include "LoginAgent.h"
#include "core/PlatformWords.h"
#include "core/Text.h"
#include "platform/SystemError.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace velmora::AgentSupport {

ClientError noExecutable() {
    return ClientError::fileSystem(u"无法确定客户端可执行文件路径。"_s);
}

ClientError cannotWrite(const QString &description) {
    return ClientError::fileSystem(currentPlatformWords().agentCannotWrite.toString() +
                                   description);
}

ClientError startFailed(const QString &output) {
    return ClientError::fileSystem(currentPlatformWords().agentStartFailed.toString() + output);
}

ClientError cannotRemove(const QString &description) {
    return ClientError::fileSystem(currentPlatformWords().agentCannotRemove.toString() +
                                   description);
}

int boundedInterval(int interval) {
    return std::max(interval, LoginAgent::minimumInterval);
}

QString runningExecutable() {
    if (QCoreApplication::instance()) {
        const QString path = QCoreApplication::applicationFilePath();
        if (!path.isEmpty())
            return path;
    }
#ifdef Q_OS_LINUX
    return QFileInfo(u"/proc/self/exe"_s).canonicalFilePath();
#else
    return {};
#endif
}

ToolRun runTool(const QString &program, const QStringList &arguments, std::chrono::seconds limit) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForStarted(-1))
        return {1, process.errorString()};
    if (!process.waitForFinished(int(std::chrono::milliseconds(limit).count())) &&
        process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(-1);
        return {1, u"%1 在 %2 秒内没有结束，已终止。"_s.arg(QFileInfo(program).fileName())
                       .arg(limit.count())};
    }

    const QByteArray bytes = process.readAll();
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString output = decoder.decode(bytes);
    if (decoder.hasError())
        output.clear();
    // A tool killed by a signal has no exit code of its own; it still failed.
    int status = process.exitCode();
    if (process.exitStatus() == QProcess::CrashExit && status == 0)
        status = 1;
    return {status, Text::trimmed(output)};
}

Status removeIfPresent(const QString &path) {
    if (::unlink(QFile::encodeName(path).constData()) != 0 && errno != ENOENT)
        return Error::foreign(platform::describeSystemError(errno, path));
    return {};
}

} // namespace velmora::AgentSupport
