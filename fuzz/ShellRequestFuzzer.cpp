// The shell's request syntax on arbitrary text. A line either fails with a SyntaxError whose
// column lies within the line, or parses into steps that, written back in canonical form (every
// value quoted), parse into the same steps again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "RequestSyntax.h"

namespace {

std::string canonical(const std::vector<svcsh::Step>& steps) {
    std::string text;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const svcsh::Step& step = steps[i];
        text += (i == 0 ? "" : "/") + std::string(step.guidStart ? "@" : "") + step.name;
        if (!step.hasArgumentList) {
            continue;
        }
        text += "(";
        for (std::size_t k = 0; k < step.arguments.size(); ++k) {
            const svcsh::Argument& argument = step.arguments[k];
            text += k == 0 ? "" : ", ";
            text += argument.type.empty() ? "" : argument.type + " ";
            text += argument.name.empty() ? "" : argument.name + "=";
            text += svcsh::quote(argument.value);
        }
        text += ")";
    }
    return text;
}

bool same(const std::vector<svcsh::Step>& a, const std::vector<svcsh::Step>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].name != b[i].name || a[i].guidStart != b[i].guidStart ||
            a[i].hasArgumentList != b[i].hasArgumentList || !(a[i].arguments == b[i].arguments)) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    std::vector<svcsh::Step> steps;
    try {
        steps = svcsh::parsePath(line);
    } catch (const svcsh::SyntaxError& error) {
        SF_FUZZ_CHECK(error.column() >= 1 && error.column() <= line.size() + 1);
        return 0;
    }
    SF_FUZZ_CHECK(!steps.empty());
    for (const svcsh::Step& step : steps) {
        SF_FUZZ_CHECK(!step.name.empty());
        SF_FUZZ_CHECK(step.name.find('/') == std::string::npos);
        SF_FUZZ_CHECK(step.arguments.empty() || step.hasArgumentList);
    }
    const std::string written = canonical(steps);
    std::vector<svcsh::Step> again;
    try {
        again = svcsh::parsePath(written);
    } catch (const svcsh::SyntaxError&) {
        SF_FUZZ_CHECK(!"the canonical form of a parsed line must parse");
    }
    SF_FUZZ_CHECK(same(steps, again));
    return 0;
}
