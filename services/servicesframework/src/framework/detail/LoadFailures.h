// Why loads through the unified factory left a key unregistered: the reasons table behind
// UnifiedFactory's get*LoadFailure, keyed by the kind of item and its name or id, and bounded so
// that a host probing many unknown keys cannot grow it without end.
// Threading: not synchronised; the factory reads and writes the table under its state mutex.
// Failure: nothing fails; a key without a reason answers an empty text.
#ifndef SERVICESFRAMEWORK_FRAMEWORK_DETAIL_LOADFAILURES_H
#define SERVICESFRAMEWORK_FRAMEWORK_DETAIL_LOADFAILURES_H

#include <ZAMUnified/LibraryLoader.h>

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "common/detail/Visibility.h"

namespace ZAMUnified {
namespace detail {

// What a load is asked for: the kind of item and its key, a name or an id.
class SF_HIDDEN LoadKey {
  public:
    LoadKey(LibraryLoader::ItemKind kind, const std::string& name);
    LoadKey(LibraryLoader::ItemKind kind, unsigned int id);

    LibraryLoader::ItemKind kind() const { return kind_; }
    bool byId() const { return byId_; }
    // Only for a key by id.
    unsigned int id() const { return id_; }
    // The name, or the id as decimal text.
    const std::string& text() const { return text_; }
    // How a reason names the key: "the service <name>", "the service id <id>", "the feature set
    // <name>", "the authenticator id <id>" and so on.
    std::string description() const;

  private:
    LibraryLoader::ItemKind kind_;
    bool byId_;
    unsigned int id_;
    std::string text_;
};

// Why the load of `key` left it unregistered, from whether the factory had a loader and the
// status of the first record that lists the key; empty when the key is registered.
SF_HIDDEN std::string loadFailureReason(const LoadKey& key, bool haveLoader,
                                        const std::optional<LibraryStatus>& status,
                                        bool registered);

class SF_HIDDEN LoadFailures {
  public:
    // At most `limit` keys keep a reason at once.
    explicit LoadFailures(std::size_t limit);

    // Keeps `reason` for the key, replacing an earlier one; an empty reason forgets the key.
    // When the table is full, a new key first makes the reason of some other key (the first in
    // the table's order) give way.
    void keep(const LoadKey& key, std::string reason);
    // The reason kept for the key; empty when there is none. Authenticator names are matched
    // case-blind, as the loader matches them.
    std::string find(const LoadKey& key) const;
    void clear();

  private:
    // The six kinds of key; with the key's text they index reasons_, in this order.
    enum class Slot {
        ServiceName,
        ServiceId,
        FeatureSetName,
        FeatureSetId,
        AuthenticatorId,
        AuthenticatorName
    };
    using Entry = std::pair<Slot, std::string>;
    // The table's index for the key; authenticator names are kept lower case.
    static Entry entryOf(const LoadKey& key);

    std::size_t limit_;
    std::map<Entry, std::string> reasons_;
};

}  // namespace detail
}  // namespace ZAMUnified

#endif  // SERVICESFRAMEWORK_FRAMEWORK_DETAIL_LOADFAILURES_H
