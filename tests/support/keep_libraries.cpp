// Linked into the GL test programs of the sanitizer build, and into the
// programs they start (tests/CMakeLists.txt), only.
//
// Mesa, its LLVM back-end and the X libraries keep blocks that only their
// own globals point at. When one of them is unloaded (our module loader
// releasing libGL, libglvnd releasing its vendor library, Mesa its driver)
// those blocks look leaked and their allocation stacks end in an unmapped
// module that no suppression can name. Here no shared library is ever
// unloaded: this definition of dlclose takes the place of the C library's
// for every caller in the process, so the leak check at exit still sees
// each library's globals, and a suppression names the library a block
// came from. Our own leaks keep their full stacks.
extern "C" int dlclose(void *) { return 0; }
