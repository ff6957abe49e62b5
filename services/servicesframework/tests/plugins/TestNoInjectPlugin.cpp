// A test plug-in "TestNoInject" without an injection entry: it opens and registers nothing.
extern "C" int TestNoInjectMarker() {
    return 1;
}
