#pragma once

#include "CommandLineOptions.h"
#include "core/Console.h"

namespace velmora {

// Runs the menu-bar application until it quits: the widget application object, the real
// presenter and the controller, with the data directory, server and ticket of the command line.
int runMenuBarApp(const CommandLineOptions &options, Console &console);

} // namespace velmora
