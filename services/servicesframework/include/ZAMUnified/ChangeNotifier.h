// ZAMUnified change notifiers: how a service library announces property changes to subscribers.
// ChangeNotifier serves a NonListProperty, ListChangeNotifier and MutableListChangeNotifier the
// two list kinds; each keeps its connected functions until their connections are disconnected.
// Threading: connect, disconnect and notify from any thread; functions run on the notifying
// thread, outside the notifier's lock. Failure: exceptions from a function pass to the notifier.
#ifndef ZAMUNIFIED_CHANGENOTIFIER_H
#define ZAMUNIFIED_CHANGENOTIFIER_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include <ZAMUnified/PropertyNotifier.h>

namespace ZAMUnified {

namespace detail {

// One connected function per id; shared by a notifier and its connections, so a connection that
// outlives its notifier disconnects harmlessly.
template <typename... Args>
class SlotTable : public std::enable_shared_from_this<SlotTable<Args...>> {
  public:
    using Function = std::function<void(Args...)>;

    class Connection : public PropertyNotifierConnection,
                       public std::enable_shared_from_this<Connection> {
      public:
        Connection(std::weak_ptr<SlotTable> table, std::uint64_t id)
            : table_(std::move(table)), id_(id) {}
        void disconnect() override {
            // The table owns this connection; keep it alive until the call returns.
            std::shared_ptr<Connection> self = this->shared_from_this();
            if (std::shared_ptr<SlotTable> table = table_.lock()) {
                table->erase(id_);
            }
        }

      private:
        std::weak_ptr<SlotTable> table_;
        std::uint64_t id_;
    };

    std::weak_ptr<PropertyNotifierConnection> connect(Function function) {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::uint64_t id = nextId_++;
        auto connection = std::make_shared<Connection>(this->shared_from_this(), id);
        slots_.emplace(id, Slot{connection, std::move(function)});
        return connection;
    }

    // Each function is looked up again just before it is called, so one disconnected by an
    // earlier function of the same round is not called.
    void notify(Args... args) {
        std::vector<std::uint64_t> ids;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (const auto& slot : slots_) {
                ids.push_back(slot.first);
            }
        }
        for (std::uint64_t id : ids) {
            Function function;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                auto found = slots_.find(id);
                if (found == slots_.end()) {
                    continue;
                }
                function = found->second.function;
            }
            if (function) {
                function(args...);
            }
        }
    }

    void erase(std::uint64_t id) {
        Slot released;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto found = slots_.find(id);
            if (found == slots_.end()) {
                return;
            }
            released = std::move(found->second);
            slots_.erase(found);
        }
        // `released` dies here, outside the lock: its function may own the last reference to a
        // property whose destruction reaches back into this table.
    }

    void clear() {
        std::map<std::uint64_t, Slot> released;
        std::lock_guard<std::mutex> lock(mutex_);
        released.swap(slots_);
        // The lock is released before `released`, declared first, is destroyed.
    }

    std::size_t size() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return slots_.size();
    }

  private:
    struct Slot {
        std::shared_ptr<Connection> connection;
        Function function;
    };
    mutable std::mutex mutex_;             // guards slots_ and nextId_
    std::map<std::uint64_t, Slot> slots_;  // in order of connection
    std::uint64_t nextId_ = 0;
};

}  // namespace detail

// A list of connected functions taking Args. connect() hands back a weak connection; the notifier
// keeps the function only until that connection's disconnect() (or disconnectAll()), which
// releases it, and with it whatever it captured.
template <typename... Args>
class BasicChangeNotifier {
  public:
    BasicChangeNotifier() : table_(std::make_shared<detail::SlotTable<Args...>>()) {}
    BasicChangeNotifier(const BasicChangeNotifier&) = delete;
    BasicChangeNotifier& operator=(const BasicChangeNotifier&) = delete;

    // An empty function is connected but never called.
    std::weak_ptr<PropertyNotifierConnection> connect(std::function<void(Args...)> function) {
        return table_->connect(std::move(function));
    }
    // Calls the connected functions in order of connection, on the calling thread, outside the
    // notifier's lock: a function may connect or disconnect. Exceptions pass to the caller.
    void notify(Args... args) const { table_->notify(args...); }
    std::size_t connectionCount() const { return table_->size(); }
    // Releases every function, as if each connection had been disconnected.
    void disconnectAll() { table_->clear(); }

  private:
    std::shared_ptr<detail::SlotTable<Args...>> table_;
};

// For a ListProperty: the flag and two integers are the service library's to define.
using ListChangeNotifier = BasicChangeNotifier<bool, int, int>;
// For a MutableListProperty: the flag and three integers are the service library's to define.
using MutableListChangeNotifier = BasicChangeNotifier<bool, int, int, int>;

// The notifier of a NonListProperty.
class ChangeNotifier : public PropertyNotifier {
  public:
    std::weak_ptr<PropertyNotifierConnection> connect(std::function<void()> callback) override {
        return functions_.connect(std::move(callback));
    }
    void notify() const { functions_.notify(); }
    std::size_t connectionCount() const { return functions_.connectionCount(); }
    void disconnectAll() { functions_.disconnectAll(); }

  private:
    BasicChangeNotifier<> functions_;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_CHANGENOTIFIER_H
