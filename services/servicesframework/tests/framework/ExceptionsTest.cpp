#include <ZAMUnified/CapabilitiesExceptionImpl.h>
#include <ZAMUnified/DispatcherAccessExceptionImpl.h>
#include <ZAMUnified/UnifiedExceptionImpl.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

namespace {

using namespace ZAMUnified;

TEST(ExceptionsTest, MessagesNamesAndInterfaceNames) {
    UnifiedExceptionImpl plain;
    EXPECT_EQ("", plain.getMessage());
    EXPECT_EQ("UnifiedException", plain.getInterfaceName());
    EXPECT_EQ("custom text", UnifiedExceptionImpl("custom text").getMessage());

    DispatcherAccessExceptionImpl access("ZAMUnified::HelloWorldService");
    EXPECT_EQ(
        "An illegal attempt to access ZAMUnified::HelloWorldService was made from a non "
        "dispatcher thread",
        access.getMessage());
    EXPECT_EQ("ZAMUnified::HelloWorldService", access.getName());
    EXPECT_EQ("DispatcherAccessException", access.getInterfaceName());

    DispatcherAccessExceptionImpl unnamed("");
    EXPECT_EQ("An illegal attempt to access  was made from a non dispatcher thread",
              unnamed.getMessage());
    EXPECT_EQ("", unnamed.getName());

    CapabilitiesExceptionImpl capability("ADMIN");
    EXPECT_EQ("Requested operation requires the ADMIN capability", capability.getMessage());
    EXPECT_EQ("ADMIN", capability.getCapability());
    EXPECT_EQ("CapabilitiesException", capability.getInterfaceName());
}

TEST(ExceptionsTest, DispatcherAccessIsCaughtThroughEitherInterface) {
    try {
        throw DispatcherAccessExceptionImpl("Owner");
    } catch (DispatcherAccessException& refused) {
        EXPECT_EQ("Owner", refused.getName());
        EXPECT_EQ("DispatcherAccessException", refused.getInterfaceName());
    }
    try {
        throw DispatcherAccessExceptionImpl("Owner");
    } catch (UnifiedException& refused) {
        EXPECT_EQ("DispatcherAccessException", refused.getInterfaceName());
        EXPECT_EQ("An illegal attempt to access Owner was made from a non dispatcher thread",
                  refused.getMessage());
        EXPECT_NE(nullptr, dynamic_cast<DispatcherAccessException*>(&refused));
        EXPECT_EQ(nullptr, dynamic_cast<CapabilitiesException*>(&refused));
    }
}

TEST(ExceptionsTest, CapabilitiesIsCaughtThroughEitherInterface) {
    try {
        throw CapabilitiesExceptionImpl("WRITE");
    } catch (CapabilitiesException& missing) {
        EXPECT_EQ("WRITE", missing.getCapability());
    }
    try {
        throw CapabilitiesExceptionImpl("WRITE");
    } catch (UnifiedException& missing) {
        EXPECT_EQ("CapabilitiesException", missing.getInterfaceName());
        EXPECT_EQ("Requested operation requires the WRITE capability", missing.getMessage());
    }
}

TEST(ExceptionsTest, NotAStandardException) {
    bool caughtAsStd = false;
    try {
        try {
            throw UnifiedExceptionImpl("x");
        } catch (const std::exception&) {
            caughtAsStd = true;
        }
    } catch (UnifiedException& caught) {
        EXPECT_EQ("x", caught.getMessage());
    }
    EXPECT_FALSE(caughtAsStd);
}

TEST(ExceptionsTest, CopiesAndMovesKeepTheirTextAndSharedOwnersHandOutThemselves) {
    DispatcherAccessExceptionImpl original("Name");
    DispatcherAccessExceptionImpl copy(original);
    DispatcherAccessExceptionImpl moved(std::move(original));
    EXPECT_EQ(copy.getMessage(), moved.getMessage());
    EXPECT_EQ("Name", moved.getName());

    auto owned = std::make_shared<CapabilitiesExceptionImpl>("READ");
    std::shared_ptr<CapabilitiesExceptionImpl> again = owned->shared_from_this();
    EXPECT_EQ(owned, again);
    EXPECT_EQ(2, owned.use_count());

    // Destroyed through the root interface, the whole object goes.
    std::unique_ptr<UnifiedException> root(new CapabilitiesExceptionImpl("READ"));
    EXPECT_EQ("CapabilitiesException", root->getInterfaceName());
}

}  // namespace
