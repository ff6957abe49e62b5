#include <ZAMUnified/Request.h>

#include <KORCoreUtils.h>

#include <utility>

namespace ZAMUnified {

Request::Request(std::string path) : executionPath(std::move(path)) {
    KORCoreUtils::split(executionPath, methodNames, "/");
    if (!methodNames.empty()) {
        lastMethod = methodNames.back();
    }
}

std::vector<std::string> Request::getMethodNames() const {
    return methodNames;
}

std::string Request::getNextMethod() {
    if (methodNames.empty()) {
        return std::string();
    }
    std::string next = std::move(methodNames.front());
    methodNames.erase(methodNames.begin());
    return next;
}

void Request::addParameterToMethod(std::string methodName,
                                   std::shared_ptr<FormalParameter> parameter) {
    if (!parameter) {
        return;
    }
    auto found = parameterCollections.find(methodName);
    if (found != parameterCollections.end()) {
        // Lands in the caller's own collection object when the caller attached one.
        found->second->push_back(std::move(parameter));
        return;
    }
    auto collection = std::make_shared<ParametersCollection>();
    collection->push_back(std::move(parameter));
    addParameterCollectionToMethod(std::move(methodName), std::move(collection));
}

void Request::addParameterCollectionToMethod(std::string methodName,
                                             std::shared_ptr<ParametersCollection> collection) {
    if (!collection) {
        return;
    }
    // emplace leaves an existing entry alone, so the first collection for a name wins.
    parameterCollections.emplace(std::move(methodName), std::move(collection));
}

std::shared_ptr<ParametersCollection> Request::getParameterCollectionByMethod(
    std::string methodName) const {
    auto found = parameterCollections.find(methodName);
    return found == parameterCollections.end() ? nullptr : found->second;
}

}  // namespace ZAMUnified
