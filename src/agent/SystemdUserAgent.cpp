#include "SystemdUserAgent.h"

#include "AgentSupport.h"
#include "core/ClientConstants.h"
#include "core/PrivateFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringDecoder>

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

// A unit file larger than this is not one we wrote.
constexpr qint64 kMaximumUnitFileSize = 64 * 1024;

bool isControl(QChar c) {
    return c.unicode() < 0x20 || c.unicode() == 0x7f;
}

// systemd refuses an executable path with quotes, backslashes or control characters outright
// ("Executable name contains special characters"), so no quoting could carry one.
bool isRepresentableExecutable(const QString &path) {
    return !path.isEmpty() && std::none_of(path.begin(), path.end(), [](QChar c) {
        return isControl(c) || c == u'"' || c == u'\'' || c == u'\\';
    });
}

// WorkingDirectory= and append: take the rest of the line literally (no quoting), after systemd
// has trimmed white space at its end and joined a line that ends in a backslash with the next.
bool isRepresentableDirectory(const QString &path) {
    return !path.isEmpty() && !path.back().isSpace() && path.back() != u'\\' &&
           std::none_of(path.begin(), path.end(), isControl);
}

// Every value in a unit file goes through specifier expansion: a literal "%" must be doubled.
QString escapeSpecifiers(const QString &text) {
    QString escaped = text;
    return escaped.replace(u'%', u"%%"_s);
}

// One argument of ExecStart=: double-quoted, with C-style escapes for "\" and the quote, "$$"
// for a literal "$" (systemd expands variables in arguments) and "%%" for a literal "%".
QString quotedArgument(const QString &text) {
    QString quoted = text;
    quoted.replace(u'\\', u"\\\\"_s).replace(u'"', u"\\\""_s).replace(u'$', u"$$"_s);
    return u'"' + escapeSpecifiers(quoted) + u'"';
}

// The refresh of this very data directory: a private one is named on the command line.
QString refreshArguments(const ClientPaths &paths) {
    if (paths.isDefaultRoot())
        return u"--refresh"_s;
    return u"--refresh --app-data "_s + quotedArgument(paths.root());
}

QString serviceText(const QString &executable, const ClientPaths &paths) {
    // Double quotes keep spaces inside the program path. "$" needs no escape: systemd expands
    // variables in the arguments only, never in the path it executes. A oneshot job has no start
    // timeout of its own, and a refresh stuck past every network timeout would hold back all
    // later ones until logout.
    return u"[Unit]\n"
           "Description=VelmoraWallpaper 壁纸刷新\n"
           "\n"
           "[Service]\n"
           "Type=oneshot\n"
           "TimeoutStartSec=15min\n"
           "ExecStart=\"%1\" %2\n"
           "WorkingDirectory=%3\n"
           "StandardOutput=append:%4\n"
           "StandardError=append:%5\n"_s.arg(escapeSpecifiers(executable), refreshArguments(paths),
                                             escapeSpecifiers(paths.root()),
                                             escapeSpecifiers(paths.agentLog()),
                                             escapeSpecifiers(paths.agentErrorLog()));
}

QString timerText(int interval) {
    // OnStartupSec counts from the user manager's start, i.e. the first login. The minute gives
    // the desktop session time to hand its display variables to the manager. A timer that is
    // started later than that (enabling in a running session) elapses at once, so the first
    // refresh follows enabling just as it follows login.
    return u"[Unit]\n"
           "Description=VelmoraWallpaper 登录时及每 %1 秒刷新壁纸\n"
           "\n"
           "[Timer]\n"
           "OnStartupSec=1min\n"
           "OnUnitActiveSec=%1s\n"
           "\n"
           "[Install]\n"
           "WantedBy=timers.target\n"_s.arg(interval);
}

// Undoes specifier escaping. Any other specifier depends on the manager's state, so a value
// that uses one is not ours.
std::optional<QString> resolveSpecifiers(const QString &value) {
    QString resolved;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'%') {
            resolved += value[i];
        } else if (i + 1 < value.size() && value[i + 1] == u'%') {
            resolved += u'%';
            ++i;
        } else {
            return std::nullopt;
        }
    }
    return resolved;
}

// The first word of a command line as systemd splits it: quotes group, white space separates.
// Backslash escapes are never written by enable(), so a line with one is not ours.
std::optional<QString> firstWord(const QString &line) {
    QString word;
    QChar quote;
    qsizetype i = 0;
    while (i < line.size() && line[i].isSpace())
        ++i;
    for (; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u'\\')
            return std::nullopt;
        if (quote.isNull() && c.isSpace())
            break;
        if (quote.isNull() && (c == u'"' || c == u'\''))
            quote = c;
        else if (c == quote)
            quote = QChar();
        else
            word += c;
    }
    if (!quote.isNull() || word.isEmpty())
        return std::nullopt;
    return word;
}

// The program of the first ExecStart= in the [Service] section.
std::optional<QString> execStartProgram(const QString &unitText) {
    QString section;
    for (const QString &rawLine : unitText.split(u'\n')) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            section = line;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (section != u"[Service]"_s || equals < 0 ||
            line.left(equals).trimmed() != u"ExecStart"_s)
            continue;
        const std::optional<QString> value = resolveSpecifiers(line.mid(equals + 1).trimmed());
        return value ? firstWord(*value) : std::nullopt;
    }
    return std::nullopt;
}

ClientError unrepresentable(const QString &path) {
    return AgentSupport::cannotWrite(u"“%1”含有 systemd 单元文件无法表示的字符。"_s.arg(path));
}

} // namespace

SystemdUserAgent::SystemdUserAgent(const ClientPaths &paths, int interval,
                                   SystemdAgentEnvironment environment)
    : m_paths(paths)
    , m_interval(AgentSupport::boundedInterval(interval))
    , m_environment(std::move(environment)) {}

QString SystemdUserAgent::serviceName() {
    return ClientConstants::launchAgentLabel + u".service"_s;
}

QString SystemdUserAgent::timerName() {
    return ClientConstants::launchAgentLabel + u".timer"_s;
}

QString SystemdUserAgent::unitFolder() const {
    QString configHome = m_environment.configHome;
    if (configHome.isEmpty()) {
        // The XDG rules ignore a relative value; so does systemctl.
        configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
        if (!QDir::isAbsolutePath(configHome))
            configHome = QDir::homePath() + u"/.config"_s;
    }
    return QDir::cleanPath(configHome) + u"/systemd/user"_s;
}

QString SystemdUserAgent::servicePath() const {
    return unitFolder() + u'/' + serviceName();
}

QString SystemdUserAgent::timerPath() const {
    return unitFolder() + u'/' + timerName();
}

QString SystemdUserAgent::wantsLinkPath() const {
    return unitFolder() + u"/timers.target.wants/"_s + timerName();
}

QString SystemdUserAgent::executable() const {
    return m_environment.executable ? *m_environment.executable : AgentSupport::runningExecutable();
}

QString SystemdUserAgent::systemctl() const {
    if (!m_environment.systemctl.isEmpty())
        return m_environment.systemctl;
    const QString found = QStandardPaths::findExecutable(u"systemctl"_s);
    // Not found: starting it fails, and that failure becomes the message.
    return found.isEmpty() ? u"systemctl"_s : found;
}

bool SystemdUserAgent::isEnabled() const {
    const QString running = executable();
    if (running.isEmpty())
        return false;
    const Result<QByteArray> bytes = PrivateFile::readNoFollow(servicePath(), kMaximumUnitFileSize);
    if (!bytes)
        return false;
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(*bytes);
    if (decoder.hasError() || execStartProgram(text) != running)
        return false;

    const std::optional<PrivateFile::Attributes> link = PrivateFile::inspect(wantsLinkPath());
    if (!link || !link->isSymbolicLink)
        return false;
    const QString linked = QFileInfo(wantsLinkPath()).canonicalFilePath();
    return !linked.isEmpty() && linked == QFileInfo(timerPath()).canonicalFilePath();
}

Status SystemdUserAgent::setEnabled(bool enabled) {
    return enabled ? enable() : disable();
}

Status SystemdUserAgent::enable() {
    if (Status ready = m_paths.ensure(); !ready)
        return ready;
    const QString program = executable();
    if (program.isEmpty())
        return AgentSupport::noExecutable();
    if (!isRepresentableExecutable(program))
        return unrepresentable(program);
    if (!isRepresentableDirectory(m_paths.root()))
        return unrepresentable(m_paths.root());

    if (Status made = PrivateFile::makeDirectories(unitFolder(), 0755); !made)
        return AgentSupport::cannotWrite(made.error().description());
    // Written like the client's private files (0600, atomically, never through a link): the user
    // manager runs as this user, and nobody else needs to read where our data lives.
    for (const auto &[path, text] : {std::pair{servicePath(), serviceText(program, m_paths)},
                                     std::pair{timerPath(), timerText(m_interval)}}) {
        if (Status written = PrivateFile::writeAtomically(path, text.toUtf8()); !written)
            return AgentSupport::cannotWrite(written.error().description());
    }

    const QString tool = systemctl();
    // Makes a running manager read the rewritten units (new executable, new interval). Without
    // a manager there is nothing to reload; the next step reports that.
    const std::chrono::seconds limit = m_environment.toolTimeLimit;
    (void)AgentSupport::runTool(tool, {u"--user"_s, u"daemon-reload"_s}, limit);
    const AgentSupport::ToolRun run =
        AgentSupport::runTool(tool, {u"--user"_s, u"enable"_s, u"--now"_s, timerName()}, limit);
    if (run.status != 0)
        return AgentSupport::startFailed(run.output);
    return {};
}

Status SystemdUserAgent::disable() {
    (void)AgentSupport::runTool(systemctl(), {u"--user"_s, u"disable"_s, u"--now"_s, timerName()},
                                m_environment.toolTimeLimit);
    // When systemctl could not run, its link would outlive the timer and leave the manager a
    // dangling wants entry to complain about at every start.
    if (PrivateFile::isSymbolicLink(wantsLinkPath())) {
        if (Status removed = AgentSupport::removeIfPresent(wantsLinkPath()); !removed)
            return AgentSupport::cannotRemove(removed.error().description());
    }
    for (const QString &path : {timerPath(), servicePath()}) {
        if (Status removed = AgentSupport::removeIfPresent(path); !removed)
            return AgentSupport::cannotRemove(removed.error().description());
    }
    return {};
}

} // namespace velmora
