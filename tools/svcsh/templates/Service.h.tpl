// The service library {{Name}}: one service and its feature set. Each class names its interface
// once (kInterfaceName); what the library registers, and each member the interpreter reaches,
// is listed in {{Name}}Library.cpp, one line each.
// Threading: state changes only on the dispatcher thread; EnsureUpdateAccess refuses others.
#ifndef {{NAME}}_{{NAME}}SERVICE_H
#define {{NAME}}_{{NAME}}SERVICE_H

#include <ServicesFramework.h>

#include <memory>
#include <string>

namespace {{namespace}} {

class {{Name}}Service : public ZAMUnified::ServiceBase<{{Name}}Service> {
  public:
    static constexpr const char* kInterfaceName = "{{Name}}Service";
    static constexpr unsigned int kId = {{Id}};

    explicit {{Name}}Service(std::shared_ptr<ZAMUnified::UnifiedFactory> factory);

    // A read-only property.
    std::string getTitle() const { return "{{Name}}"; }
    // A property that can be written and watched: changes are announced through levelChanged.
    double getLevel() const { return level_; }
    void setLevel(double level);

    // A method with two overloads, told apart by their arguments.
    std::string greet() const;
    std::string greet(const std::string& name) const;
    // A method that changes the level; answers the new one.
    double adjust(double delta);

    ZAMUnified::ChangeNotifier levelChanged;

  private:
    double level_ = 0.0;
};

// Keeps its started state; nothing else to do yet.
class {{Name}}FeatureSet : public ZAMUnified::FeatureSetBase {};

}  // namespace {{namespace}}

#endif  // {{NAME}}_{{NAME}}SERVICE_H
