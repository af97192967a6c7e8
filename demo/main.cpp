// The program entry of Emberfield.
//
// Start-up runs in two phases, both spelled out here rather than left to the
// order of static constructors, which no one controls across libraries.
//
// Phase one: every module's initialisation, once, in this fixed order. The
// base module starts the framework with the program's arguments and makes
// the program's folder the current folder; the modules after it only
// register their init and exit procedures in the framework's subsystem
// slots (the window manager in slot 1, the GL and GLU units in 2 and 3, the
// texture loader in 4), install the fatal-error handler, or reset their own
// tables.
//
// Phase two: the demo's main program. It sets its defaults, runs the init
// slots once (0..31), mounts the data pack that lies three folders above the
// program's folder, opens the video, loads, plays the timeline and ends.
//
// Ends: the orderly shutdown (exit slots 31..0, framework shutdown, process
// exit) on the paths that need it; the timeline's own end stops the music,
// closes the window and ends the process without it.
#include "demo/demo_main.h"
#include "demo/modules.h"

int main(int argc, char **argv) {
  InitialiseModules(argc, argv);
  DemoMain();
}
