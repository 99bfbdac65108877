// A shared object without the engine plug-in entry points.
extern "C" KELO_EXPORT int notAPlugin() { return 0; }
