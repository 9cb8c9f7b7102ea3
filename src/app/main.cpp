#include "app/ModeModule.h"
#include "app/QuickCommands.h"

#include <QByteArray>
#include <QList>

int main(int argc, char *argv[]) {
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QByteArray(argv[i]);
    if (const std::optional<int> status = velmora::runQuickCommand(arguments))
        return *status;
    return velmora::runModeModule(argc, argv);
}
