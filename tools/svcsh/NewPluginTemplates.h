// The files `svcsh new-plugin` writes, as templates embedded at build time from
// tools/svcsh/templates (EmbedTemplates.cmake). Placeholders such as {{Name}} are filled in by
// NewPlugin.cpp. Threading and failure: constant data; any thread.
#ifndef SVCSH_NEWPLUGINTEMPLATES_H
#define SVCSH_NEWPLUGINTEMPLATES_H

#include <string>
#include <vector>

namespace svcsh {

struct PluginTemplate {
    std::string name;  // the template's file name without ".tpl": "Service.h"
    std::string text;
};

const std::vector<PluginTemplate>& pluginTemplates();

}  // namespace svcsh

#endif  // SVCSH_NEWPLUGINTEMPLATES_H
