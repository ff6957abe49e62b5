// One FirstLoad run of the bare floor, as a fresh process: dlopen the bench plug-in, dlsym its C
// function and call it. Exits 0 on success.
//
//   firstload_bare <library path>
#include <dlfcn.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: firstload_bare <library path>\n");
        return 2;
    }
    // Lazy binding, as the framework's loader opens libraries.
    void* library = dlopen(argv[1], RTLD_LAZY | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "firstload_bare: %s\n", dlerror());
        return 1;
    }
    auto answer = reinterpret_cast<int (*)()>(dlsym(library, "BenchPluginAnswer"));
    if (answer == nullptr || answer() != 42) {
        std::fprintf(stderr, "firstload_bare: BenchPluginAnswer is missing or wrong\n");
        return 1;
    }
    return 0;
}
