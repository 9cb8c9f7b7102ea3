#include "Console.h"

#include <iostream>

using namespace Qt::StringLiterals;

namespace velmora {

Console &Console::standard() {
    static Console console(std::cout, std::cerr);
    return console;
}

void Console::print(const QString &line) {
    m_out << (line + u'\n').toStdString() << std::flush;
}

void Console::printError(const QString &description) {
    m_err << (u"错误："_s + description + u'\n').toStdString() << std::flush;
}

} // namespace velmora
