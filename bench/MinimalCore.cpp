// The least a QtCore command-line tool does: QtCore loaded, one line printed. The baseline of
// bench/startup.sh.
#include <QString>

#include <cstdio>

int main() {
    const QByteArray line = QStringLiteral("1.3.0").toUtf8();
    std::fwrite(line.constData(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    return 0;
}
