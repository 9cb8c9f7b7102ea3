#include "StartupPromptMarker.h"

#include "PrivateFile.h"

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

Status markStartupPromptShown(const ClientPaths &paths) {
    if (Status ready = paths.ensure(); !ready)
        return ready;
    const QString marker = startupPromptMarkerPath(paths);
    if (PrivateFile::isSymbolicLink(marker))
        return ClientError::fileSystem(u"启动提醒标记不能是符号链接。"_s);
    return PrivateFile::writeAtomically(marker, QByteArrayLiteral("shown\n"));
}

} // namespace

QString startupPromptMarkerPath(const ClientPaths &paths) {
    return paths.startupPromptMarker();
}

bool isStartupPromptShown(const ClientPaths &paths) {
    return PrivateFile::inspect(startupPromptMarkerPath(paths)).has_value();
}

void tryMarkStartupPromptShown(const ClientPaths &paths, const ClientLog &log) {
    if (Status status = markStartupPromptShown(paths); !status && log)
        log(u"写入启动提醒标记失败："_s + status.error().description());
}

} // namespace velmora
