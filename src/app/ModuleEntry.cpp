#include "ModeModule.h"
#include "RunCommand.h"

#include <QByteArray>
#include <QList>

extern "C" __attribute__((visibility("default"))) int velmora_run_mode(int argc, char *argv[]) {
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QByteArray(argv[i]);
    return velmora::runProcess(arguments);
}
