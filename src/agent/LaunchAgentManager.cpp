#include "LaunchAgentManager.h"

#include "AgentSupport.h"
#include "core/ClientConstants.h"
#include "core/PrivateFile.h"
#include "platform/SystemError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <plist/plist.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

// A property list larger than this is not one we wrote.
constexpr qint64 kMaximumAgentFileSize = 1 << 20;

struct PlistDeleter {
    void operator()(void *node) const { plist_free(static_cast<plist_t>(node)); }
};
using Plist = std::unique_ptr<void, PlistDeleter>;

void setString(plist_t dict, const char *key, const QString &value) {
    plist_dict_set_item(dict, key, plist_new_string(value.toUtf8().constData()));
}

QByteArray encodeAgent(const QString &executable, int interval, const ClientPaths &paths) {
    const Plist root(plist_new_dict());
    plist_t dict = root.get();
    setString(dict, "Label", LaunchAgentManager::label());
    plist_t arguments = plist_new_array();
    plist_array_append_item(arguments, plist_new_string(executable.toUtf8().constData()));
    plist_array_append_item(arguments, plist_new_string("--refresh"));
    // The refresh of this very data directory: a private one is named on the command line.
    if (!paths.isDefaultRoot()) {
        plist_array_append_item(arguments, plist_new_string("--app-data"));
        plist_array_append_item(arguments, plist_new_string(paths.root().toUtf8().constData()));
    }
    plist_dict_set_item(dict, "ProgramArguments", arguments);
    plist_dict_set_item(dict, "RunAtLoad", plist_new_bool(1));
    plist_dict_set_item(dict, "StartInterval", plist_new_uint(uint64_t(interval)));
    setString(dict, "ProcessType", u"Background"_s);
    setString(dict, "WorkingDirectory", paths.root());
    setString(dict, "StandardOutPath", paths.agentLog());
    setString(dict, "StandardErrorPath", paths.agentErrorLog());

    char *xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(dict, &xml, &length);
    if (!xml)
        return {};
    QByteArray bytes(xml, qsizetype(length));
    plist_to_xml_free(xml);
    return bytes;
}

// The first program argument of an agent file in any property-list format, or empty.
QString firstProgramArgument(const QByteArray &bytes) {
    if (bytes.isEmpty())
        return {};
    plist_t parsed = nullptr;
    plist_from_memory(bytes.constData(), uint32_t(bytes.size()), &parsed);
    const Plist root(parsed);
    if (!root || plist_get_node_type(parsed) != PLIST_DICT)
        return {};
    const plist_t arguments = plist_dict_get_item(parsed, "ProgramArguments");
    if (!arguments || plist_get_node_type(arguments) != PLIST_ARRAY ||
        plist_array_get_size(arguments) == 0)
        return {};
    // Every element must be a string, as launchd itself demands.
    for (uint32_t i = 0; i < plist_array_get_size(arguments); ++i) {
        const plist_t item = plist_array_get_item(arguments, i);
        if (!item || plist_get_node_type(item) != PLIST_STRING)
            return {};
    }
    uint64_t length = 0;
    const char *first = plist_get_string_ptr(plist_array_get_item(arguments, 0), &length);
    return first ? QString::fromUtf8(first, qsizetype(length)) : QString();
}

} // namespace

LaunchAgentManager::LaunchAgentManager(const ClientPaths &paths, int interval,
                                       LaunchAgentEnvironment environment)
    : m_paths(paths)
    , m_interval(AgentSupport::boundedInterval(interval))
    , m_environment(std::move(environment)) {}

const QString &LaunchAgentManager::label() {
    return ClientConstants::launchAgentLabel;
}

QUrl LaunchAgentManager::plistURL() const {
    return QUrl::fromLocalFile(plistPath());
}

QString LaunchAgentManager::plistPath() const {
    const QString home = m_environment.home.isEmpty() ? QDir::homePath() : m_environment.home;
    return QDir::cleanPath(home) + u"/Library/LaunchAgents/"_s + label() + u".plist"_s;
}

QString LaunchAgentManager::executable() const {
    return m_environment.executable ? *m_environment.executable : AgentSupport::runningExecutable();
}

QString LaunchAgentManager::domain() const {
    return u"gui/"_s + QString::number(m_environment.uid ? *m_environment.uid : ::getuid());
}

bool LaunchAgentManager::isEnabled() const {
    const Result<QByteArray> bytes = PrivateFile::readNoFollow(plistPath(), kMaximumAgentFileSize);
    if (!bytes)
        return false;
    const QString program = firstProgramArgument(*bytes);
    const QString running = executable();
    return !program.isEmpty() && !running.isEmpty() && program == running;
}

Status LaunchAgentManager::setEnabled(bool enabled) {
    return enabled ? enable() : disable();
}

Status LaunchAgentManager::enable() {
    if (Status ready = m_paths.ensure(); !ready)
        return ready;
    const QString program = executable();
    if (program.isEmpty())
        return AgentSupport::noExecutable();

    const QString target = plistPath();
    const QString folder = QFileInfo(target).absolutePath();
    if (Status made = PrivateFile::makeDirectories(folder, 0755); !made)
        return AgentSupport::cannotWrite(made.error().description());
    const QByteArray bytes = encodeAgent(program, m_interval, m_paths);
    if (bytes.isEmpty())
        return AgentSupport::cannotWrite(u"无法编码属性列表。"_s);

    // A hidden staging file renamed over the old one: launchd never picks up a half-written
    // job, and there is never a moment without an agent file.
    if (Status written = PrivateFile::writeAtomically(target, bytes); !written)
        return AgentSupport::cannotWrite(written.error().description());

    // Unloading first makes a rewritten file (new executable, new interval) take effect; when
    // nothing was loaded this fails, which is fine.
    (void)AgentSupport::runTool(m_environment.launchctl, {u"bootout"_s, domain(), target},
                                m_environment.toolTimeLimit);
    const AgentSupport::ToolRun bootstrap = AgentSupport::runTool(
        m_environment.launchctl, {u"bootstrap"_s, domain(), target}, m_environment.toolTimeLimit);
    if (bootstrap.status != 0)
        return AgentSupport::startFailed(bootstrap.output);
    return {};
}

Status LaunchAgentManager::disable() {
    const QString target = plistPath();
    (void)AgentSupport::runTool(m_environment.launchctl, {u"bootout"_s, domain(), target},
                                m_environment.toolTimeLimit);
    if (Status removed = AgentSupport::removeIfPresent(target); !removed)
        return AgentSupport::cannotRemove(removed.error().description());
    return {};
}

} // namespace velmora
