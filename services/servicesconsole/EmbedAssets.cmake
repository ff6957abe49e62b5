# Writes OUTPUT, a C++ source that holds the files ASSETS (separated by "|") as
# string views, with findAsset() over them. index.html is served at "/".
string(REPLACE "|" ";" ASSETS "${ASSETS}")
set(entries "")
set(arrays "")
set(index 0)
foreach(asset IN LISTS ASSETS)
    get_filename_component(name ${asset} NAME)
    file(READ ${asset} hex HEX)
    string(LENGTH "${hex}" length)
    math(EXPR size "${length} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    if(name STREQUAL "index.html")
        set(path "/")
    else()
        set(path "/${name}")
    endif()
    if(name MATCHES "\\.html$")
        set(type "text/html; charset=utf-8")
    elseif(name MATCHES "\\.js$")
        set(type "text/javascript; charset=utf-8")
    elseif(name MATCHES "\\.css$")
        set(type "text/css; charset=utf-8")
    elseif(name MATCHES "\\.svg$")
        set(type "image/svg+xml")
    else()
        set(type "application/octet-stream")
    endif()
    string(APPEND arrays "const unsigned char kAsset${index}[] = {${bytes}};\n")
    string(APPEND entries "    {\"${path}\", \"${type}\", {reinterpret_cast<const char*>(kAsset${index}), ${size}}},\n")
    math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUTPUT}.new "// Generated from the console's assets folder; do not edit.
#include \"detail/Assets.h\"

namespace ZAMUnified {
namespace detail {
namespace {
${arrays}
const Asset kAssets[] = {
${entries}};
}  // namespace

const Asset* findAsset(std::string_view path) {
    for (const Asset& asset : kAssets) {
        if (asset.path == path) {
            return &asset;
        }
    }
    return nullptr;
}

}  // namespace detail
}  // namespace ZAMUnified
")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
