// A shared library that is not a package: it exports none of the entry points
// the host's loader asks for.
extern "C" int hostbare_answer() { return 42; }
