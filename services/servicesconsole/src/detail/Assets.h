// The web page's files, embedded in the library when it is built (ConsoleAssets.cpp is
// generated from the assets folder), so the console serves them with nothing installed beside it.
#ifndef SERVICESCONSOLE_DETAIL_ASSETS_H
#define SERVICESCONSOLE_DETAIL_ASSETS_H

#include <string_view>

namespace ZAMUnified {
namespace detail {

struct Asset {
    std::string_view path;  // "/", "/console.js", ...
    std::string_view contentType;
    std::string_view content;
};

// The asset served at `path`, or null.
const Asset* findAsset(std::string_view path);

}  // namespace detail
}  // namespace ZAMUnified

#endif  // SERVICESCONSOLE_DETAIL_ASSETS_H
