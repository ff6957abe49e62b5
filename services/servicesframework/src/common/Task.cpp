#include <zam/Task.h>

#include <cxxabi.h>

#include <cstdlib>
#include <typeinfo>

namespace zam {

Task::~Task() = default;

std::string Task::name() const {
    const char* mangled = typeid(*this).name();
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    if (status != 0 || demangled == nullptr) {
        return mangled;
    }
    std::string result(demangled);
    free(demangled);
    return result;
}

void Task::markSubmitted() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    submissionTimeNs_.store(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count(),
                            std::memory_order_relaxed);
}

std::chrono::system_clock::time_point Task::getSubmissionTime() const {
    const std::chrono::nanoseconds sinceEpoch(submissionTimeNs_.load(std::memory_order_relaxed));
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(sinceEpoch));
}

}  // namespace zam
