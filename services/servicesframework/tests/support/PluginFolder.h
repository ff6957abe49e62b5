// A scratch folder for tests that hand plug-ins to a loader, a checker or a shell: each plug-in
// directory holds its manifest <dir>/<dir>.xml and, when given, a link to a library built by the
// tests. The whole folder is removed with the object.
#ifndef SERVICESFRAMEWORK_TESTS_PLUGINFOLDER_H
#define SERVICESFRAMEWORK_TESTS_PLUGINFOLDER_H

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace sftest {

class PluginFolder {
  public:
    // root() is empty when the folder could not be made.
    PluginFolder() {
        char pattern[] = "/tmp/sf-plugins-XXXXXX";
        root_ = mkdtemp(pattern) != nullptr ? pattern : "";
    }
    PluginFolder(const PluginFolder&) = delete;
    ~PluginFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    const std::filesystem::path& root() const { return root_; }

    // Writes <root>/<dir>/<dir>.xml and, when `library` is given, links it there as
    // lib<linkName>.so; answers the directory.
    std::string add(const std::string& dir, const std::string& xml, const std::string& library = "",
                    const std::string& linkName = "") const {
        const std::filesystem::path folder = root_ / dir;
        std::filesystem::create_directories(folder);
        std::ofstream(folder / (dir + ".xml")) << xml;
        if (!library.empty()) {
            std::filesystem::create_symlink(library, folder / ("lib" + linkName + ".so"));
        }
        return folder.string();
    }

  private:
    std::filesystem::path root_;
};

}  // namespace sftest

#endif  // SERVICESFRAMEWORK_TESTS_PLUGINFOLDER_H
