// What a service library registers through ServiceLibrary: each item under the names its class
// gives once, reflectors made from one line per member, a feature set that keeps its own state,
// and a refusal when a class's two names disagree. Driven through a factory and the text layer,
// as a host reaches them after injection.
#include <ZAMUnified/ServiceLibrary.h>

#include <ZAMUnified/TextInterpreter.h>
#include <ZAMUnified/TextJson.h>

#include <gmock/gmock.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/LogCapture.h"

namespace lamps {

using namespace ZAMUnified;

class Bulb : public BusinessObjectBase<Bulb> {
  public:
    static constexpr const char* kInterfaceName = "Bulb";
    using BusinessObjectBase::BusinessObjectBase;
    double getHours() const { return 1.5; }
};

class Lamp : public ServiceBase<Lamp> {
  public:
    static constexpr const char* kInterfaceName = "Lamp";
    Lamp(std::shared_ptr<UnifiedFactory> factory, int watts)
        : ServiceBase(factory), watts_(watts), bulb_(std::make_shared<Bulb>(factory)) {}

    int getWatts() const { return watts_; }
    void setWatts(int watts) {
        watts_ = watts;
        wattsChanged.notify();
    }
    std::vector<std::string> getColours() const { return colours_; }
    void setColours(std::vector<std::string> colours) { colours_ = std::move(colours); }
    std::string paint(const std::vector<std::string>& colours) const {
        return colours.size() == 2 ? colours[0] + "+" + colours[1] : "";
    }
    std::shared_ptr<Bulb> getBulb() const { return bulb_; }

    ChangeNotifier wattsChanged;
    ListChangeNotifier coloursChanged;

  private:
    int watts_;
    std::vector<std::string> colours_;
    std::shared_ptr<Bulb> bulb_;
};

// Its reflector would be looked up under a name its objects never answer.
class Mislabelled : public ServiceBase<Mislabelled> {
  public:
    static constexpr const char* kInterfaceName = "Mislabelled";
    using ServiceBase::ServiceBase;
    std::string getInterfaceName() override { return "Labelled"; }
};

class LampSwitch : public FeatureSetBase {};
class LampKey : public Authenticator {};

}  // namespace lamps

namespace {

using namespace ZAMUnified;
using namespace lamps;

class ServiceLibraryTest : public ::testing::Test {
  protected:
    void SetUp() override { factory_->Init(); }
    void TearDown() override { factory_->Reset(); }

    sftest::LogCapture log_{{"library-loader", "unified-factory"}};
    std::shared_ptr<UnifiedFactory> factory_ = std::make_shared<UnifiedFactory>();
};

TEST_F(ServiceLibraryTest, EachItemIsRegisteredUnderTheNamesItsClassGivesOnce) {
    ServiceLibrary library(factory_);
    library.service<Lamp>(4100, 60)
        .property("Watts", &Lamp::getWatts, &Lamp::setWatts, &Lamp::wattsChanged, "Power drawn")
        .listProperty("Colours", &Lamp::getColours, &Lamp::setColours, &Lamp::coloursChanged)
        .property("Bulb", &Lamp::getBulb)
        .method("paint", &Lamp::paint, {"colours"}, "The colours, joined");
    library.object<Bulb>().property("Hours", &Bulb::getHours, "Hours lit");
    library.featureSet<LampSwitch>(4100);
    library.authenticator<LampKey>(4101, "LAMPKEY", "Lamp key");

    const auto lamp = factory_->getService(typeid(Lamp).name());
    ASSERT_TRUE(lamp);
    EXPECT_EQ(lamp, factory_->getService(4100u));
    EXPECT_EQ("Lamp", lamp->getInterfaceName());
    EXPECT_EQ(4101u, factory_->getAuthenticatorId("lampkey"));
    EXPECT_TRUE(std::dynamic_pointer_cast<LampKey>(factory_->getAuthenticator(4101)));

    TextInterpreter text(factory_);
    std::string answers;  // each answer's text, or its error
    for (const char* line :
         {"Lamp/Watts", "Lamp/Watts(75)", "Lamp/getWatts", "Lamp/Colours(\"red|blue\")",
          "Lamp/Colours", "Lamp/paint(colours=\"red|green\")", "Lamp/Bulb/Hours"}) {
        const TextResult result = text.run(line);
        answers += (result.ok ? result.text : "error: " + result.error) + ";";
    }
    EXPECT_EQ("60;;75;;red|blue;red+green;1.5;", answers);

    // A notifier member makes its property watchable; a property without one is not.
    ObjectDescription description;
    ASSERT_TRUE(text.describe("Lamp", description).ok);
    EXPECT_EQ(R"({"interface":"Lamp","properties":[{"name":"Bulb","type":"object",)"
              R"("readOnly":true,"kind":"value","watchable":false},{"name":"Colours",)"
              R"j("type":"list(std::string)","readOnly":false,"kind":"list","watchable":true},)j"
              R"({"name":"Watts","type":"int","readOnly":false,"kind":"value","watchable":true,)"
              R"("description":"Power drawn"}],"methods":[{"name":"paint","returnType":)"
              R"j("std::string","parameters":"list(std::string) colours","description":)j"
              R"("The colours, joined"}]})",
              TextJson::description(description));
    std::vector<std::string> changes;
    ASSERT_TRUE(
        text.watch("Lamp/Watts", "watts",
                   [&](const std::string& label, const TextResult& value, const PropertyChange&) {
                       changes.push_back(label + "=" + value.text);
                   })
            .ok);
    ASSERT_TRUE(text.run("Lamp/Watts(40)").ok);
    EXPECT_EQ(std::vector<std::string>{"watts=40"}, changes);

    // A FeatureSetBase keeps the state of the ids it is provisioned for, until Destroy(). (Start
    // and stop through the factory: UnifiedFactoryTest.FeatureSetsAreControlledThroughTheir-
    // Adapters_NEGATIVE, whose adapter is a FeatureSetBase too.)
    auto lampSwitch = std::dynamic_pointer_cast<LampSwitch>(factory_->getFeatureSetAdapter(4100));
    ASSERT_TRUE(lampSwitch);
    auto events = std::make_shared<std::vector<std::shared_ptr<ServiceEvent>>>();
    factory_->StartFeatureSet(4100, events);
    EXPECT_TRUE(factory_->IsFeatureSetStarted(4100));
    lampSwitch->Destroy();
    EXPECT_FALSE(factory_->IsFeatureSetStarted(4100));
    lampSwitch->StartFeatureSet(4102, events);  // an id it was not provisioned for
    EXPECT_FALSE(lampSwitch->IsFeatureSetProvisioned(4102));
    EXPECT_FALSE(lampSwitch->IsFeatureSetStarted(4102));
    EXPECT_TRUE(factory_->GetFeatureSetDependencies(4100).empty());
}

TEST_F(ServiceLibraryTest, NEGATIVE_AServiceWhoseInterfaceNamesDisagreeIsRefused) {
    ServiceLibrary library(factory_);
    EXPECT_THAT([&] { library.service<Mislabelled>(4200); },
                ::testing::ThrowsMessage<std::logic_error>(
                    std::string("the service ") + typeid(Mislabelled).name() +
                    " answers the interface name \"Labelled\", not its kInterfaceName "
                    "\"Mislabelled\""));
    EXPECT_FALSE(factory_->getService(4200u));
}

}  // namespace
