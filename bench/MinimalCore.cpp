// The least a QtCore command-line tool does: QtCore loaded, one line printed. The baseline of
// bench/startup.sh.
#include <QString>

#include <cstdio>

using namespace Qt::StringLiterals;

int main() {
    const QByteArray line = u"1.3.0"_s.toUtf8();
    std::fwrite(line.constData(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    return 0;
}
