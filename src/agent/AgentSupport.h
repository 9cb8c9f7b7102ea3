#pragma once

// What the login agents share: their failure sentences, the child-process runner, the running
// executable and a few file operations that report failures in the user's words.

#include "core/ClientError.h"
#include "core/Result.h"

#include <QString>
#include <QStringList>

#include <chrono>

namespace velmora::AgentSupport {

// The sentences are the same on every platform, so the user reads one story whichever service
// manager carries the job.
ClientError noExecutable();
ClientError cannotWrite(const QString &description);
ClientError startFailed(const QString &output);
ClientError cannotRemove(const QString &description);

int boundedInterval(int interval);

// The path of the running executable: the application's when an application object exists,
// else what the kernel says (Linux); empty when neither is known.
QString runningExecutable();

struct ToolRun {
    int status = 0;
    // Standard output and standard error together, as UTF-8 (empty when not decodable), with
    // white space and line breaks trimmed at both ends.
    QString output;
};

// Runs `program` with `arguments` (no shell), standard input empty, and waits until it exits.
// A program that cannot be started gives status 1 and the reason as output; one still running
// after `limit` is killed and gives status 1 and a sentence naming it and the limit.
ToolRun runTool(const QString &program, const QStringList &arguments, std::chrono::seconds limit);

// Removes a file or symbolic link; one that is already gone is no error.
Status removeIfPresent(const QString &path);

} // namespace velmora::AgentSupport
