#pragma once

namespace velmora {

// Everything but the quick commands (the menu-bar application, the commands that talk to the
// service or the desktop, the self-test) lives in a private module beside the executable,
// VELMORA_MODULE_SUBPATH below the prefix of bin/VelmoraWallpaper (the build tree has the same
// layout), so the quick commands never load the GUI, network and desktop libraries. Loads it and
// runs the process there. A module that is missing or unusable gives "错误：…" and status 1.
int runModeModule(int argc, char *argv[]);

} // namespace velmora

// The module's one entry: runs the process as the executable would (arguments with the program
// name), and returns its exit status.
extern "C" int velmora_run_mode(int argc, char *argv[]);
