// ZAMUnified::Properties: a reflector's properties by exact, case-sensitive name. The first
// property added under a name wins; later ones of that name are dropped.
//
// Threading: no lock; filled while the reflector is built, then only read (reads may run
// concurrently). Failure: look-ups that find nothing give an empty pointer.
#ifndef ZAMUNIFIED_PROPERTIES_H
#define ZAMUNIFIED_PROPERTIES_H

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <ZAMUnified/ParametersCollection.h>
#include <ZAMUnified/Property.h>

namespace ZAMUnified {

class Properties {
  public:
    // Keyed by property->getPropertyName(); ignored when that name is taken.
    void addProperty(std::shared_ptr<Property> property);
    // In ascending byte-wise order.
    std::vector<std::string> getPropertyNames() const;
    std::shared_ptr<Property> getProperty(const std::string& name) const;
    // The property only if its matchesParameters() accepts `parameters` (passed on even when
    // empty).
    std::shared_ptr<Property> getProperty(const std::string& name,
                                          std::shared_ptr<ParametersCollection> parameters) const;
    std::size_t size() const;

  private:
    std::map<std::string, std::shared_ptr<Property>> properties;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_PROPERTIES_H
