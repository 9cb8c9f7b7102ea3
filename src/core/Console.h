#pragma once

#include <QString>

#include <iosfwd>

namespace velmora {

// Where a command writes its lines: standard output and error for the process, string
// streams in tests. Text is written as UTF-8, one line feed after each line.
class Console {
public:
    Console(std::ostream &out, std::ostream &err)
        : m_out(out)
        , m_err(err) {}

    static Console &standard();

    void print(const QString &line);
    // "错误：" + description, the one form in which a failure reaches standard error.
    void printError(const QString &description);

private:
    std::ostream &m_out;
    std::ostream &m_err;
};

} // namespace velmora
