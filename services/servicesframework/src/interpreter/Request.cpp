#include <ZAMUnified/Request.h>

#include <KORCoreUtils.h>

#include "common/detail/SameName.h"

#include <utility>

namespace ZAMUnified {

using zam::detail::sameName;

namespace {

constexpr char kSeparator = '/';

// Answered for a name without a collection; constant-initialised, so usable at any time.
const std::shared_ptr<ParametersCollection> kNoCollection;

// The name starting at `start`, which moves past it: to the next name, or to npos after the
// last one.
std::string_view cutName(std::string_view path, std::size_t& start) {
    const std::size_t begin = start;
    // Names are short: a plain scan beats a library call.
    std::size_t end = begin;
    while (end < path.size() && path[end] != kSeparator) {
        ++end;
    }
    start = end < path.size() ? end + 1 : std::string::npos;
    return path.substr(begin, end - begin);
}

// Whether every way of splitting `path` at the separator gives the same pieces (there is at
// least one, and none is empty), and where its last separator stands. One plain pass: paths are
// short, and a library search costs more than reading them.
bool withoutEmptyPieces(std::string_view path, std::size_t& lastSeparator) {
    lastSeparator = std::string_view::npos;
    if (path.empty() || path.front() == kSeparator || path.back() == kSeparator) {
        return false;
    }
    for (std::size_t i = 1; i < path.size(); ++i) {
        if (path[i] == kSeparator) {
            if (path[i - 1] == kSeparator) {
                return false;
            }
            lastSeparator = i;
        }
    }
    return true;
}

}  // namespace

Request::Request(std::string path) : executionPath(std::move(path)), nextSplitName(0) {
    std::size_t lastSeparator = 0;
    cutInPlace = withoutEmptyPieces(executionPath, lastSeparator);
    if (cutInPlace) {
        nextMethodStart = 0;
        lastMethod.assign(executionPath, lastSeparator + 1);  // npos + 1: the whole path
    } else {
        nextMethodStart = std::string::npos;
        KORCoreUtils::split(executionPath, splitNames, "/");
        if (!splitNames.empty()) {
            lastMethod = splitNames.back();
        }
    }
}

std::vector<std::string> Request::getMethodNames() const {
    std::vector<std::string> names;
    if (!cutInPlace) {
        names.assign(splitNames.begin() + static_cast<std::ptrdiff_t>(nextSplitName),
                     splitNames.end());
        return names;
    }
    for (std::size_t start = nextMethodStart; start != std::string::npos;) {
        names.emplace_back(cutName(executionPath, start));
    }
    return names;
}

std::string Request::getNextMethod() {
    return std::string(takeNextMethod());
}

std::string_view Request::takeNextMethod() {
    if (!cutInPlace) {
        return nextSplitName < splitNames.size() ? std::string_view(splitNames[nextSplitName++])
                                                 : std::string_view();
    }
    if (nextMethodStart == std::string::npos) {
        return std::string_view();
    }
    return cutName(executionPath, nextMethodStart);
}

void Request::addParameterToMethod(std::string methodName,
                                   std::shared_ptr<FormalParameter> parameter) {
    if (!parameter) {
        return;
    }
    if (const auto& attached = findParameterCollection(methodName)) {
        // Lands in the caller's own collection object when the caller attached one.
        attached->push_back(std::move(parameter));
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
    if (!firstCollection) {
        firstCollectionName = std::move(methodName);
        firstCollection = std::move(collection);
        return;
    }
    // The first collection for a name wins: emplace leaves an existing entry alone.
    if (!sameName(firstCollectionName, methodName)) {
        parameterCollections.emplace(std::move(methodName), std::move(collection));
    }
}

std::shared_ptr<ParametersCollection> Request::getParameterCollectionByMethod(
    std::string methodName) const {
    return findParameterCollection(methodName);
}

const std::shared_ptr<ParametersCollection>& Request::findParameterCollection(
    std::string_view methodName) const {
    if (firstCollection && sameName(firstCollectionName, methodName)) {
        return firstCollection;
    }
    if (parameterCollections.empty()) {
        return kNoCollection;
    }
    auto found = parameterCollections.find(methodName);
    return found == parameterCollections.end() ? kNoCollection : found->second;
}

void Request::setArgumentResolver(ArgumentResolver resolver) {
    argumentResolver = std::move(resolver);
}

const std::shared_ptr<ParametersCollection>& Request::argumentsForStep(std::string_view methodName,
                                                                       const Reflector* reflector) {
    const std::shared_ptr<ParametersCollection>& attached = findParameterCollection(methodName);
    if (attached || !argumentResolver) {
        return attached;
    }
    resolvedArguments = argumentResolver(reflector, methodName);
    return resolvedArguments;
}

}  // namespace ZAMUnified
