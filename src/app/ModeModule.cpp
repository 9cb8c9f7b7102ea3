#include "ModeModule.h"

#include "core/Console.h"

#include <QFile>

#include <climits>
#include <dlfcn.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

// The module's path: the executable's own (a symbolic link to it is resolved) with bin/ and the
// name replaced. Empty when the executable cannot be found.
QByteArray modulePath() {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length <= 0 || length >= static_cast<ssize_t>(sizeof buffer))
        return {};
    QByteArray path(buffer, length);
    for (int level = 0; level < 2; ++level) {
        const qsizetype slash = path.lastIndexOf('/');
        if (slash < 0)
            return {};
        path.truncate(slash);
    }
    return path + '/' + VELMORA_MODULE_SUBPATH;
}

int missingModule(const QByteArray &path) {
    Console::standard().printError(u"无法载入程序模块"_s +
                                   (path.isEmpty() ? QString() : u' ' + QFile::decodeName(path)) +
                                   u"，请重新安装 Velmora壁纸。"_s);
    return 1;
}

} // namespace

int runModeModule(int argc, char *argv[]) {
    const QByteArray path = modulePath();
    if (path.isEmpty())
        return missingModule(path);
    void *module = ::dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
    if (!module)
        return missingModule(path);
    using Entry = int (*)(int, char *[]);
    const auto entry = reinterpret_cast<Entry>(::dlsym(module, "velmora_run_mode"));
    if (!entry)
        return missingModule(path);
    // The module stays loaded until the process ends: its objects may outlive the entry.
    return entry(argc, argv);
}

} // namespace velmora
