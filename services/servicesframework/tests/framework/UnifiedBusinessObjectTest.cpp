#include <ZAMUnified/UnifiedBusinessObjectImpl.h>

#include <ZAMUnified/CapabilitiesExceptionImpl.h>
#include <ZAMUnified/DispatcherAccessException.h>
#include <ZAMUnified/DispatcherAccessExceptionImpl.h>
#include <ZAMUnified/UnifiedExceptionImpl.h>
#include <ZAMUnified/UnifiedFactory.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <type_traits>
#include <vector>

// Business objects and the exceptions hosts see.
namespace {

using namespace ZAMUnified;

class Sample : public UnifiedBusinessObjectImpl {
  public:
    Sample(std::shared_ptr<UnifiedFactory> owner, bool isUncommitted)
        : UnifiedBusinessObjectImpl(std::move(owner), isUncommitted, "Sample") {}

    std::string getInterfaceName() override { return "SampleObject"; }
    void initNotifiers() override {
        if (giveNotifiers && !notifiers_) {
            notifiers_ = std::make_shared<UnifiedBusinessObjectNotifiersImpl>();
        }
    }

    bool giveNotifiers = false;
};

// Records the order of notifications across observers.
struct Recorder : UnifiedBusinessObjectObserver {
    Recorder(std::vector<std::string>& calls, std::string label)
        : calls(calls), label(std::move(label)) {}
    void OnInfoChanged() override { calls.push_back(label); }
    std::vector<std::string>& calls;
    std::string label;
};

struct OtherKind : Recorder {
    using Recorder::Recorder;
};

class UnifiedBusinessObjectTest : public ::testing::Test {
  protected:
    std::shared_ptr<UnifiedFactory> factory = std::make_shared<UnifiedFactory>();
    std::vector<std::string> calls;

    std::shared_ptr<Recorder> recorder(const std::string& label) {
        return std::make_shared<Recorder>(calls, label);
    }
};

// GUIDs count from 1 per process, so this runs in a fresh process of its own.
TEST(UnifiedBusinessObjectGuidTest, FirstObjectsOfAProcessGetOneAndTwo) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            auto owner = std::make_shared<UnifiedFactory>();
            Sample first(owner, false);
            Sample second(owner, false);
            std::exit(first.getGuid() == "1" && second.getGuid() == "2" ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// Off the dispatcher thread a committed object can be neither made (and a refused construction
// draws no GUID) nor updated; an uncommitted one is filled anywhere until it is committed.
TEST_F(UnifiedBusinessObjectTest, OffTheDispatcherThreadOnlyUncommittedObjectsAreMadeOrFilled) {
    Sample first(factory, false);
    std::unique_ptr<Sample> object;
    std::string refusal;
    std::thread other([&] {
        EXPECT_THROW(Sample refused(factory, false), DispatcherAccessException);
        object.reset(new Sample(factory, true));
        object->EnsureUpdateAccess(true);  // uncommitted: no check
        object->commitToServicesDispatcher();
        try {
            object->EnsureUpdateAccess(true);
        } catch (DispatcherAccessException& refused) {
            refusal = refused.getMessage();
        }
        object->EnsureUpdateAccess(false);  // never throws
    });
    other.join();
    EXPECT_EQ("An illegal attempt to access  was made from a non dispatcher thread", refusal);
    EXPECT_NO_THROW(object->EnsureUpdateAccess(true)) << "the dispatcher thread may update";
    Sample second(factory, false);
    EXPECT_EQ(std::stoll(first.getGuid()) + 1, std::stoll(object->getGuid()));
    EXPECT_EQ(std::stoll(first.getGuid()) + 2, std::stoll(second.getGuid()));
    EXPECT_EQ(std::to_string(std::stoll(second.getGuid()) + 1),
              UnifiedBusinessObjectImpl::generateGuid());
}

// Notified in list order, duplicates twice; an expired entry is pruned by moving the last one into
// its place; a removal takes one entry; filtering returns only the requested kind.
TEST_F(UnifiedBusinessObjectTest, ObserverListOrderDuplicatesPruningFilteringAndNotifiers) {
    Sample object(factory, false);
    auto a = recorder("A");
    auto b = recorder("B");
    auto c = std::make_shared<OtherKind>(calls, "C");
    const auto fired = [&] {
        calls.clear();
        object.fireOnInfoChanged();
        return calls;
    };
    using Calls = std::vector<std::string>;
    object.addObserver(a);
    object.addObserver(b);
    object.addObserver(a);
    EXPECT_EQ((Calls{"A", "B", "A"}), fired());
    object.removeObserver(a);
    EXPECT_EQ((Calls{"B", "A"}), fired());
    object.removeObserver(std::weak_ptr<UnifiedBusinessObjectObserver>());  // expired: nothing
    object.removeObserver(recorder("never added"));
    EXPECT_EQ((Calls{"B", "A"}), fired());

    object.addObserver(c);
    EXPECT_EQ(std::vector<std::shared_ptr<OtherKind>>{c}, object.getFilteredObservers<OtherKind>());
    object.removeObserver(a);
    object.addObserver(a);  // B, C, A
    b.reset();
    EXPECT_EQ((Calls{"A", "C"}), fired());
    EXPECT_EQ((Calls{"A", "C"}), fired()) << "the list is now A, C";

    // Its name, and its notifiers, made on request and then kept.
    EXPECT_EQ("SampleObject", object.toString());
    EXPECT_EQ(nullptr, object.getUnifiedBusinessObjectNotifiers());
    object.giveNotifiers = true;  // made on request, then kept
    const auto notifiers = object.getUnifiedBusinessObjectNotifiers();
    EXPECT_NE(nullptr, notifiers);
    EXPECT_EQ(notifiers, object.getUnifiedBusinessObjectNotifiers());
}

TEST_F(UnifiedBusinessObjectTest, ObserversMayChangeTheListFromInsideANotification) {
    Sample object(factory, false);
    // Takes itself off the list and puts "late" on it.
    struct SelfRemover : Recorder {
        using Recorder::Recorder;
        void OnInfoChanged() override {
            Recorder::OnInfoChanged();
            object->removeObserver(self);
            object->addObserver(late);
        }
        Sample* object = nullptr;
        std::weak_ptr<UnifiedBusinessObjectObserver> self;
        std::shared_ptr<Recorder> late;
    };
    auto remover = std::make_shared<SelfRemover>(calls, "remover");
    remover->object = &object;
    remover->self = remover;
    remover->late = recorder("late");
    object.addObserver(remover);

    object.fireOnInfoChanged();  // would deadlock if observers were called under the lock
    EXPECT_EQ((std::vector<std::string>{"remover"}), calls)
        << "an observer added during a notification waits for the next";
    object.fireOnInfoChanged();
    EXPECT_EQ((std::vector<std::string>{"remover", "late"}), calls);
}

// Hosts catch the framework's exceptions by its own root interface; a handler for
// std::exception must not swallow them.
static_assert(!std::is_base_of_v<std::exception, UnifiedExceptionImpl>);

TEST(ExceptionsTest, EachKindIsCaughtThroughTheRootAndItsOwnInterfaceWithItsTexts) {
    const std::tuple<std::function<void()>, std::string, std::string> cases[] = {
        {[] { throw UnifiedExceptionImpl(); }, "UnifiedException", ""},
        {[] { throw UnifiedExceptionImpl("custom text"); }, "UnifiedException", "custom text"},
        {[] { throw DispatcherAccessExceptionImpl("ZAMUnified::HelloWorldService"); },
         "DispatcherAccessException",
         "An illegal attempt to access ZAMUnified::HelloWorldService was made from a non "
         "dispatcher thread"},
        {[] { throw DispatcherAccessExceptionImpl(""); }, "DispatcherAccessException",
         "An illegal attempt to access  was made from a non dispatcher thread"},
        {[] { throw CapabilitiesExceptionImpl("ADMIN"); }, "CapabilitiesException",
         "Requested operation requires the ADMIN capability"},
    };
    for (const auto& [raise, interfaceName, message] : cases) {
        SCOPED_TRACE(message);
        try {
            raise();
        } catch (UnifiedException& caught) {
            EXPECT_EQ(interfaceName, caught.getInterfaceName());
            EXPECT_EQ(message, caught.getMessage());
        }
    }
    // A refusal's name is read through its interface by the dispatcher's tests (refusedName).
    CapabilitiesExceptionImpl missing("WRITE");
    EXPECT_EQ("WRITE", static_cast<CapabilitiesException&>(missing).getCapability());
}

}  // namespace
