// ZAMUnified::TypeMap<T>: the registry of services (T = UnifiedService) or feature sets
// (T = FeatureSet), by mangled type name and by id. Injected library code adds items; the factory
// looks them up and clears them.
//
// Threading: every operation is safe from any thread; each map has a mutex of its own.
// Failure: look-ups answer an empty pointer for an absent key or an item of another type.
#ifndef ZAMUNIFIED_TYPEMAP_H
#define ZAMUNIFIED_TYPEMAP_H

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <zam/Mutex.h>
#include <zam/ScopedLock.h>

namespace ZAMUnified {

template <typename T>
class TypeMap {
  public:
    // Adds the item under `mangledName` (for example N10ZAMUnified13SystemServiceE) and under
    // `id`, replacing what either key held before.
    void addItem(const std::string& mangledName, unsigned int id, std::shared_ptr<T> item) {
        {
            zam::ScopedLock lock(nameMutex_);
            byName_[mangledName] = item;
        }
        zam::ScopedLock lock(idMutex_);
        byId_[id] = std::move(item);
    }

    // The item converted with a checked cast; empty when absent or not a U.
    template <typename U>
    std::shared_ptr<U> getItem(const std::string& name) {
        zam::ScopedLock lock(nameMutex_);
        auto found = byName_.find(name);
        return found == byName_.end() ? std::shared_ptr<U>()
                                      : std::dynamic_pointer_cast<U>(found->second);
    }

    template <typename U>
    std::shared_ptr<U> getItem(unsigned int id) {
        zam::ScopedLock lock(idMutex_);
        auto found = byId_.find(id);
        return found == byId_.end() ? std::shared_ptr<U>()
                                    : std::dynamic_pointer_cast<U>(found->second);
    }

    // The by-name entries in ascending name order, copied under the lock, so that the caller may
    // call into the items while other threads register.
    std::vector<std::pair<std::string, std::shared_ptr<T>>> itemsByName() {
        zam::ScopedLock lock(nameMutex_);
        return std::vector<std::pair<std::string, std::shared_ptr<T>>>(byName_.begin(),
                                                                       byName_.end());
    }

    // The by-id entries in ascending id order, copied under the lock, as itemsByName.
    std::vector<std::pair<unsigned int, std::shared_ptr<T>>> itemsById() {
        zam::ScopedLock lock(idMutex_);
        return std::vector<std::pair<unsigned int, std::shared_ptr<T>>>(byId_.begin(), byId_.end());
    }

    // Empties the by-name map, then the by-id map. The items are released outside the locks,
    // so an item's destructor may use the registry.
    void clear() {
        std::map<std::string, std::shared_ptr<T>> names;
        std::map<unsigned int, std::shared_ptr<T>> ids;
        {
            zam::ScopedLock lock(nameMutex_);
            names.swap(byName_);
        }
        zam::ScopedLock lock(idMutex_);
        ids.swap(byId_);
    }

  private:
    std::map<std::string, std::shared_ptr<T>> byName_;
    std::map<unsigned int, std::shared_ptr<T>> byId_;
    zam::Mutex nameMutex_;  // guards byName_
    zam::Mutex idMutex_;    // guards byId_
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_TYPEMAP_H
