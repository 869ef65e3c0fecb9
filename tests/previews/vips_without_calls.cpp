// A shared library that stands where libvips should be but is not libvips:
// quimbo-build-standin must find that it lacks libvips's calls and say so.
extern "C" int quimbo_not_libvips() { return 42; }
