#include "app/RunCommand.h"

#include <QByteArray>
#include <QList>

int main(int argc, char *argv[]) {
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QByteArray(argv[i]);
    return velmora::runProcess(arguments);
}
