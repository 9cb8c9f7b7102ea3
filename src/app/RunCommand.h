#pragma once

#include "CommandLineOptions.h"
#include "core/Console.h"
#include "usecases/ClientContext.h"

namespace velmora {

// Runs the job `options` selects and returns the process exit status: 0 on success, 1 when
// the job failed (after "错误：" + description on the console's error stream).
int runCommand(const CommandLineOptions &options, Console &console = Console::standard());
// The same with a context built by the caller (tests hand in fakes); its console is used.
int runCommand(const CommandLineOptions &options, const ClientContext &context);

// The whole process: parse `arguments` (without the program name), then run. A rejected
// command line is reported and gives 2.
int runProcess(const QStringList &arguments, Console &console = Console::standard());
int runProcess(const QList<QByteArray> &arguments, Console &console = Console::standard());

} // namespace velmora
