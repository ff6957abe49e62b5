// Must not compile: a getter answers a type that the reflection layer cannot carry. The test
// that compiles it expects one error, naming the type and the types that are supported.
#include <ZAMUnified/ReflectionHelpers.h>

#include <memory>

struct Shelf {
    int count = 0;
};

struct Inventory {
    Shelf getShelf() const { return {}; }
    int getCount() const { return 0; }
};

void reflectInventory() {
    auto reflector = std::make_shared<ZAMUnified::ObjectReflector<Inventory>>(
        "Inventory", std::make_shared<Inventory>());
    reflector->property("Shelf", &Inventory::getShelf, "What lies on the shelf")
        .property("Count", &Inventory::getCount);
}
