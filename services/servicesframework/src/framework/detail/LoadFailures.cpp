#include "framework/detail/LoadFailures.h"

#include <KORCoreUtils.h>

#include <algorithm>
#include <cctype>

namespace ZAMUnified {
namespace detail {

namespace {

using Kind = LibraryLoader::ItemKind;

// Authenticator names are found case-blind, so their failures are kept under one spelling.
std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

const char* noun(Kind kind) {
    switch (kind) {
        case Kind::Service:
            return "service";
        case Kind::FeatureSet:
            return "feature set";
        case Kind::Authenticator:
            return "authenticator";
    }
    return "";
}

}  // namespace

LoadKey::LoadKey(LibraryLoader::ItemKind kind, const std::string& name)
    : kind_(kind), byId_(false), id_(0), text_(name) {}

LoadKey::LoadKey(LibraryLoader::ItemKind kind, unsigned int id)
    : kind_(kind), byId_(true), id_(id), text_(KORCoreUtils::toString(id)) {}

std::string LoadKey::description() const {
    return std::string("the ") + noun(kind_) + (byId_ ? " id " : " ") + text_;
}

std::string loadFailureReason(const LoadKey& key, bool haveLoader,
                              const std::optional<LibraryStatus>& status, bool registered) {
    if (registered) {
        // Found: a reason kept from an earlier attempt no longer holds.
        return std::string();
    }
    if (!haveLoader) {
        return "The factory is not initialized";
    }
    if (!status) {
        return "No library record lists " + key.description();
    }
    if (status->state == LibraryStatus::State::Failed) {
        return "The library " + status->record.name + " " + status->reason;
    }
    if (status->state == LibraryStatus::State::Loaded) {
        return "The library " + status->record.name + " was injected but did not register " +
               key.description();
    }
    // Only when another thread reset the loader's view meanwhile; still worth saying.
    return "The library " + status->record.name + " is not loaded";
}

LoadFailures::LoadFailures(std::size_t limit) : limit_(limit) {}

void LoadFailures::keep(const LoadKey& key, std::string reason) {
    const Entry entry = entryOf(key);
    if (reason.empty()) {
        reasons_.erase(entry);
        return;
    }
    if (reasons_.size() >= limit_ && reasons_.count(entry) == 0) {
        reasons_.erase(reasons_.begin());
    }
    reasons_[entry] = std::move(reason);
}

std::string LoadFailures::find(const LoadKey& key) const {
    auto found = reasons_.find(entryOf(key));
    return found == reasons_.end() ? std::string() : found->second;
}

void LoadFailures::clear() {
    reasons_.clear();
}

LoadFailures::Entry LoadFailures::entryOf(const LoadKey& key) {
    switch (key.kind()) {
        case Kind::Service:
            return {key.byId() ? Slot::ServiceId : Slot::ServiceName, key.text()};
        case Kind::FeatureSet:
            return {key.byId() ? Slot::FeatureSetId : Slot::FeatureSetName, key.text()};
        case Kind::Authenticator:
            return key.byId() ? Entry{Slot::AuthenticatorId, key.text()}
                              : Entry{Slot::AuthenticatorName, lowerCase(key.text())};
    }
    return {Slot::ServiceName, key.text()};  // not reached: every kind is handled above
}

}  // namespace detail
}  // namespace ZAMUnified
