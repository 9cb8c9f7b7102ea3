#include "app/RunCommand.h"

#include <QStringList>

int main(int argc, char *argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return velmora::runProcess(arguments);
}
