// A loadable module that is not a plug-in: it has none of the four library exports.
#ifdef _WIN32
extern "C" __declspec(dllexport) int SomethingElse() { return 1; }
#else
extern "C" __attribute__((visibility("default"))) int SomethingElse() { return 1; }
#endif
