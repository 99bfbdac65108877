// A bundle that loads but exports no keloOpcode.
extern "C" KELO_EXPORT int notKeloOpcode() { return 0; }
