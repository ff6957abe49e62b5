#include <KORCoreUtils/FunctionTask.h>

#include <utility>

namespace KORCoreUtils {

FunctionTask::FunctionTask(std::function<void()> function, const std::string& name)
    : function_(std::move(function)), name_(name) {}

void FunctionTask::execute() {
    if (function_) {
        function_();
    }
}

std::string FunctionTask::name() const {
    return name_;
}

}  // namespace KORCoreUtils
