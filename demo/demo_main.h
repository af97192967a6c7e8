// The demo's main program.
#pragma once

// Runs after every module's initialisation: sets the defaults, runs the
// framework's init slots, mounts the data pack, opens the video, loads
// everything behind the loading bar, builds the procedural data, starts
// the music and plays the timeline; then ends the process. Never returns.
[[noreturn]] void DemoMain();
