#include <ZAMUnified/CapabilitiesExceptionImpl.h>
#include <ZAMUnified/DispatcherAccessExceptionImpl.h>
#include <ZAMUnified/UnifiedExceptionImpl.h>

#include <gtest/gtest.h>

#include <exception>
#include <functional>
#include <string>
#include <type_traits>

namespace {

using namespace ZAMUnified;

// Hosts catch the framework's exceptions by its own root interface; a handler for
// std::exception must not swallow them.
static_assert(!std::is_base_of_v<std::exception, UnifiedExceptionImpl>);

TEST(ExceptionsTest, EachKindIsCaughtThroughTheRootAndItsOwnInterfaceWithItsTexts) {
    const struct {
        std::function<void()> raise;
        const char* interfaceName;
        const char* message;
    } cases[] = {
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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        try {
            c.raise();
        } catch (UnifiedException& caught) {
            EXPECT_EQ(c.interfaceName, caught.getInterfaceName());
            EXPECT_EQ(c.message, caught.getMessage());
        }
    }
    try {
        throw DispatcherAccessExceptionImpl("Owner");
    } catch (DispatcherAccessException& refused) {
        EXPECT_EQ("Owner", refused.getName());
        EXPECT_EQ(nullptr, dynamic_cast<CapabilitiesException*>(&refused));
    }
    try {
        throw CapabilitiesExceptionImpl("WRITE");
    } catch (CapabilitiesException& missing) {
        EXPECT_EQ("WRITE", missing.getCapability());
    }
}

}  // namespace
