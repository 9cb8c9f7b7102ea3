#pragma once

#include "platform/Desktop.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace velmora::platform {

// The file manager that draws the desktop of LXQt (pcmanfm-qt) or LXDE (pcmanfm).
struct PcmanfmProgram {
    const char *backendName; // as Desktop::backendName()
    const char *desktopName; // as the user knows it, in messages
    const char *program;
    // The bus name through which a second run hands its command to the running one; null
    // where the program uses a socket of its own.
    const char *busName;

    static const PcmanfmProgram lxqt;
    static const PcmanfmProgram lxde;
};

// The running desktop of pcmanfm-qt or pcmanfm, told the picture with its own
// `--set-wallpaper FILE --wallpaper-mode fit`, which hands it to the running desktop process.
//
// Neither program sets a band colour from its command line, and pcmanfm-qt ignores the "zoom"
// mode it lists, so the picture is first laid out at the size of the largest screen (bands in
// the fill colour, or cropped) into a hidden file beside it; "fit" then shows that file
// unchanged and keeps its proportions if the screen changes later.
class PcmanfmDesktop : public Desktop {
public:
    explicit PcmanfmDesktop(const PcmanfmProgram &program)
        : m_program(program) {}

    // Whether a desktop process of the program runs for this user, reachable by a second run.
    static bool available(const PcmanfmProgram &program);

    QString backendName() const override { return QLatin1String(m_program.backendName); }
    std::vector<Screen> screens() const override;
    // One picture for every screen: the desktop draws the same file on each.
    bool setDesktopImage(const QString &file, const Screen &screen,
                         const DesktopImageOptions &options, QString *error) override;

    // The settings profile of a process, given its NUL-separated command line, when that
    // process is `program` running the desktop; nothing otherwise.
    static std::optional<QString> desktopProfile(const QByteArray &commandLine,
                                                 const char *program);

private:
    const PcmanfmProgram &m_program;
    QString m_lastSet; // the laid-out file this object last handed over
};

} // namespace velmora::platform
