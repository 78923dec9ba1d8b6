// A shared library with one exported function, loaded by the tests of the
// dynamic-library wrapper.
extern "C" __attribute__((visibility("default"))) int riffo_tiny_answer() { return 42; }
