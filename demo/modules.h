// Phase one of the program's start-up (see modules.cpp).
#pragma once

void InitialiseModules(int argc, char **argv);
