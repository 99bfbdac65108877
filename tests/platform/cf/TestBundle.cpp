// The bundle the bundle-layer tests load: two exported functions and one hidden one.
extern "C" {

KELO_EXPORT int keloTestAnswer(int question) { return question * 2 + 42; }

KELO_EXPORT const char* keloTestName() { return "KeloCFTestBundle"; }

int keloTestHidden() { return 7; }
}
