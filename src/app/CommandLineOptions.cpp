#include "CommandLineOptions.h"

#include "core/ClientPaths.h"
#include "net/PromotionHandoff.h"

#include <QDir>
#include <QStringDecoder>

#include <array>
#include <utility>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

constexpr std::array<std::pair<ClientMode, const char16_t *>, 11> kCommandWords{{
    {ClientMode::Refresh, u"--refresh"},
    {ClientMode::Register, u"--register"},
    {ClientMode::Status, u"--status"},
    {ClientMode::Clear, u"--clear"},
    {ClientMode::StartupEnable, u"--startup-enable"},
    {ClientMode::StartupDisable, u"--startup-disable"},
    {ClientMode::StartupStatus, u"--startup-status"},
    {ClientMode::ActivateInvite, u"--activate-invite"},
    {ClientMode::SelfTest, u"--self-test"},
    {ClientMode::Version, u"--version"},
    {ClientMode::Help, u"--help"},
}};

std::optional<ClientMode> modeForWord(const QString &argument) {
    if (argument == u"-h")
        return ClientMode::Help;
    for (const auto &[mode, word] : kCommandWords) {
        // --activate-invite takes a value and is handled with the options.
        if (mode != ClientMode::ActivateInvite && argument == QStringView(word))
            return mode;
    }
    return std::nullopt;
}

ClientError malformed(const char *sentence) {
    return ClientError::malformedData(QString::fromUtf8(sentence));
}

} // namespace

Result<QStringList> decodeArguments(const QList<QByteArray> &arguments) {
    QStringList decoded;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8(arguments[i]);
        // A replacement character would name another directory than the one meant.
        if (utf8.hasError() && i > 0 && arguments[i - 1] == "--app-data")
            return malformed("--app-data 的目录路径不是有效的 UTF-8。");
        decoded << text;
    }
    return decoded;
}

QString commandWord(ClientMode mode) {
    for (const auto &[candidate, word] : kCommandWords) {
        if (candidate == mode)
            return QString::fromUtf16(word);
    }
    return {};
}

Result<CommandLineOptions> CommandLineOptions::parse(const QStringList &arguments) {
    CommandLineOptions options;
    // Stores the one ticket a command line may carry.
    const auto takeTicket = [&options](const QString &ticket) -> Status {
        if (options.handoffTicket)
            return malformed("只能指定一个邀请票据。");
        options.handoffTicket = ticket;
        return {};
    };

    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        const auto nextValue = [&] {
            return arguments[++i];
        };

        if (const std::optional<ClientMode> mode = modeForWord(argument)) {
            options.mode = *mode;
        } else if (argument == u"--server") {
            if (!hasValue)
                return malformed("--server 需要一个地址。");
            options.server = nextValue();
        } else if (argument == u"--app-data") {
            // An empty value would silently mean the working directory.
            if (!hasValue || arguments[i + 1].isEmpty())
                return malformed("--app-data 需要一个目录。");
            options.appData = QDir::current().absoluteFilePath(nextValue());
        } else if (argument == u"--invite-uri") {
            const std::optional<QString> ticket =
                hasValue ? PromotionHandoff::parseURI(nextValue()) : std::nullopt;
            if (!ticket)
                return malformed("--invite-uri 需要有效的 velmora 邀请链接。");
            if (Status taken = takeTicket(*ticket); !taken)
                return taken.error();
        } else if (argument == u"--handoff-ticket" || argument == u"--invite") {
            const std::optional<QString> ticket =
                hasValue ? PromotionHandoff::normalizeTicket(nextValue()) : std::nullopt;
            if (!ticket)
                return malformed("--handoff-ticket 需要有效的一次性邀请票据。");
            if (Status taken = takeTicket(*ticket); !taken)
                return taken.error();
        } else if (argument == u"--activate-invite") {
            if (!hasValue)
                return malformed("--activate-invite 需要邀请链接或一次性票据。");
            const QString value = nextValue();
            std::optional<QString> ticket = PromotionHandoff::parseURI(value);
            if (!ticket)
                ticket = PromotionHandoff::normalizeTicket(value);
            if (!ticket)
                return malformed("--activate-invite 需要有效的邀请链接或一次性票据。");
            if (Status taken = takeTicket(*ticket); !taken)
                return taken.error();
            options.mode = ClientMode::ActivateInvite;
        } else if (const std::optional<QString> ticket = PromotionHandoff::parseURI(argument)) {
            // A bare invite link, as the desktop hands it over when a link is opened.
            if (Status taken = takeTicket(*ticket); !taken)
                return taken.error();
        } else {
            return ClientError::malformedData(u"未知参数："_s + argument +
                                              u"。使用 --help 查看用法。"_s);
        }
    }

    if (options.handoffTicket && options.mode != ClientMode::App &&
        options.mode != ClientMode::ActivateInvite)
        return malformed("邀请票据只能与图形启动或 --activate-invite 一起使用。");
    // Only the version and the usage text touch no data directory.
    if (!options.appData && options.mode != ClientMode::Version &&
        options.mode != ClientMode::Help) {
        if (Status named = ClientPaths::checkEnvironment(); !named)
            return named.error();
    }
    return options;
}

} // namespace velmora
