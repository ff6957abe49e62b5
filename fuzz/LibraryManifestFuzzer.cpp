// ZAMUnified::LibraryLoader::ProcessLibraryManifest on arbitrary bytes as the manifest file: it
// never crashes or leaks, adds at most one record, and a record it adds always has a name and an
// absolute path to a ".so" file beside the manifest, so a later load never opens an empty path.
#include <ZAMUnified/LibraryLoader.h>

#include <ZAMLogger.h>

#include "FuzzCheck.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

static std::string manifestPath;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Every rejected manifest is an error record; printing them all would drown the fuzzer's
    // own output and slow it down.
    ZAMLog_setSink([](const ZAMLogRecord&) {});
    manifestPath = "/tmp/sf-fuzz-manifest-" + std::to_string(getpid()) + "/plugins.xml";
    const std::string directory = manifestPath.substr(0, manifestPath.rfind('/'));
    SF_FUZZ_CHECK(mkdir(directory.c_str(), 0700) == 0 || errno == EEXIST);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(manifestPath.c_str(), "wb");
    SF_FUZZ_CHECK(file != nullptr);
    SF_FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, file) == size);
    SF_FUZZ_CHECK(std::fclose(file) == 0);

    // The loader never calls into its factory while it reads a manifest.
    auto loader = std::make_shared<ZAMUnified::LibraryLoader>(nullptr);
    loader->ProcessLibraryManifest(manifestPath);
    const std::vector<ZAMUnified::LibraryRecord> records = loader->getLibraryRecords();
    SF_FUZZ_CHECK(records.size() <= 1);
    if (records.empty()) {
        return 0;
    }
    const ZAMUnified::LibraryRecord& record = records.front();
    const std::string& path = record.path;
    SF_FUZZ_CHECK(!record.name.empty() && record.handle == nullptr);
    SF_FUZZ_CHECK(path.size() > 3 && path.front() == '/' &&
                  path.compare(path.size() - 3, 3, ".so") == 0);
    return 0;
}
