// The injection entry of {{Name}}: the loader calls Inject{{Name}} once per load, on the
// dispatcher thread. Each registration and each reflected member is one line; the text after a
// member is what `describe` shows of it.
#include "{{Name}}Service.h"

ZAMUNIFIED_SERVICE_LIBRARY({{Name}}, library) {
    using ZAMUnified::selectOverload;
    using S = {{namespace}}::{{Name}}Service;
    library.service<S>(S::kId)
        .property("Title", &S::getTitle, "The library's name")
        .property("Level", &S::getLevel, &S::setLevel, &S::levelChanged, "A level to watch")
        .method("greet", selectOverload<std::string() const>(&S::greet), "A greeting")
        .method("greet", selectOverload<std::string(const std::string&) const>(&S::greet), {"name"},
                "A greeting for someone")
        .method("adjust", &S::adjust, {"delta"}, "Changes the level by delta");
    library.featureSet<{{namespace}}::{{Name}}FeatureSet>(S::kId);
}
