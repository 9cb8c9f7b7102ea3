#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QString>

namespace velmora::test {

// The failure's description, or empty on success, so that one comparison against a literal
// checks both whether an operation failed and what the user reads.
template <typename T> QString failureOf(const Result<T> &result) {
    return result.ok() ? QString() : result.error().description();
}

// Sets an environment variable for the rest of a scope and restores the previous value.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char *name, const QByteArray &value)
        : m_name(name)
        , m_old(qgetenv(name)) {
        qputenv(name, value);
    }
    ~ScopedEnvironment() {
        m_old.isNull() ? void(qunsetenv(m_name)) : void(qputenv(m_name, m_old));
    }
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

private:
    const char *m_name;
    QByteArray m_old;
};

} // namespace velmora::test
