# Run with cmake -P at build time: writes OUTPUT, a C++ source that holds every file of TEMPLATES
# (a list, separated by "|") as a raw string, keyed by its name without the ".tpl" ending, for
# `svcsh new-plugin` to fill in. Run again whenever a template changes.
if(NOT DEFINED OUTPUT OR NOT DEFINED TEMPLATES)
    message(FATAL_ERROR "EmbedTemplates.cmake needs -DOUTPUT=... and -DTEMPLATES=...")
endif()
set(delimiter "svcsh_template")
string(REPLACE "|" ";" files "${TEMPLATES}")
set(entries "")
foreach(file IN LISTS files)
    get_filename_component(name "${file}" NAME)
    string(REGEX REPLACE "\\.tpl$" "" name "${name}")
    file(READ "${file}" content)
    string(FIND "${content}" ")${delimiter}\"" clash)
    if(NOT clash EQUAL -1)
        message(FATAL_ERROR "${file} holds the raw string's delimiter")
    endif()
    string(APPEND entries "    {\"${name}\", R\"${delimiter}(${content})${delimiter}\"},\n")
endforeach()
file(WRITE "${OUTPUT}.tmp" "// Made from tools/svcsh/templates by EmbedTemplates.cmake; edit the templates instead.
#include \"NewPluginTemplates.h\"

namespace svcsh {

const std::vector<PluginTemplate>& pluginTemplates() {
    static const std::vector<PluginTemplate> templates = {
${entries}    };
    return templates;
}

}  // namespace svcsh
")
# Unchanged output keeps its time stamp, so nothing is rebuilt for nothing.
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
