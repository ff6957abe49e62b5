#include "framework/detail/LibraryManifestReader.h"

#include <KORCoreUtils.h>

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

namespace ZAMUnified {
namespace detail {

namespace {

struct DocumentDeleter {
    void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};
using Document = std::unique_ptr<xmlDoc, DocumentDeleter>;

bool named(const xmlNode* node, const char* name) {
    return xmlStrEqual(node->name, reinterpret_cast<const xmlChar*>(name)) != 0;
}

bool named(const xmlAttr* attribute, const char* name) {
    return xmlStrEqual(attribute->name, reinterpret_cast<const xmlChar*>(name)) != 0;
}

// The text of an element's first child node; empty when it has none or the child has no content.
std::string firstChildText(const xmlNode* element) {
    const xmlNode* child = element->children;
    if (child == nullptr || child->content == nullptr) {
        return std::string();
    }
    return reinterpret_cast<const char*>(child->content);
}

// The concatenated text and CDATA children of an attribute.
std::string attributeValue(const xmlAttr* attribute) {
    std::string value;
    for (const xmlNode* child = attribute->children; child != nullptr; child = child->next) {
        if ((child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) &&
            child->content != nullptr) {
            value += reinterpret_cast<const char*>(child->content);
        }
    }
    return value;
}

// As atoi for every text atoi defines: leading blanks, a sign, digits, and 0 for a text that does
// not start with a number. A number outside the int range, where atoi is undefined, also gives 0.
unsigned int idFromText(const std::string& text) {
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno == ERANGE || value < INT_MIN || value > INT_MAX) {
        return 0;
    }
    return static_cast<unsigned int>(static_cast<int>(value));
}

// One manifest being read: the record so far and the problems met.
class ManifestReading {
  public:
    explicit ManifestReading(const std::string& manifestPath) : manifestPath_(manifestPath) {}

    void readLibrary(const xmlNode* root) {
        for (const xmlNode* node = root->children; node != nullptr; node = node->next) {
            if (node->type != XML_ELEMENT_NODE) {
                continue;
            }
            if (named(node, "name")) {
                // An element without content counts as missing and replaces nothing.
                const std::string text = firstChildText(node);
                if (!text.empty()) {
                    record_.name = text;
                }
            } else if (named(node, "path")) {
                const std::string text = firstChildText(node);
                if (!text.empty()) {
                    record_.path = KORCoreUtils::FileUtils::getAbsolutePath(
                        KORCoreUtils::FileUtils::getParentDirectory(manifestPath_) + "/lib" + text +
                        ".so");
                }
            } else if (named(node, "version")) {
                const std::string text = firstChildText(node);
                if (!text.empty()) {
                    record_.version = text;
                }
            } else if (named(node, "services")) {
                readItems(node, "service", record_.serviceNames, record_.serviceIds, "service");
            } else if (named(node, "featuresets")) {
                readItems(node, "featureset", record_.featureSetNames, record_.featureSetIds,
                          "featureSet");
            } else if (named(node, "authenticators")) {
                readItems(node, "authenticator", record_.authenticatorNames,
                          record_.authenticatorIds, nullptr);
            }
        }
    }

    LibraryManifest finish() {
        if (!record_.path.empty() && !record_.name.empty()) {
            manifest_.records.push_back(std::move(record_));
        } else {
            manifest_.problems.push_back("No library specified in Services Library Manifest " +
                                         manifestPath_);
        }
        return std::move(manifest_);
    }

  private:
    // The `childName` elements of a list, each attribute in document order: "name" into `names`,
    // "id" into `ids`. Names of the kind `typeKind` are type names and kept mangled; authenticator
    // names (no `typeKind`) are kept as written.
    void readItems(const xmlNode* list, const char* childName, std::vector<std::string>& names,
                   std::vector<unsigned int>& ids, const char* typeKind) {
        for (const xmlNode* child = list->children; child != nullptr; child = child->next) {
            if (child->type != XML_ELEMENT_NODE || !named(child, childName)) {
                continue;
            }
            for (const xmlAttr* attribute = child->properties; attribute != nullptr;
                 attribute = attribute->next) {
                const std::string value = attributeValue(attribute);
                if (named(attribute, "name")) {
                    if (typeKind != nullptr) {
                        addTypeName(names, value, typeKind);
                    } else {
                        names.push_back(value);
                    }
                }
                if (named(attribute, "id")) {
                    ids.push_back(idFromText(value));
                }
            }
        }
    }

    // Appends `value` mangled, or unmangled after a problem naming the manifest.
    void addTypeName(std::vector<std::string>& names, const std::string& value,
                     const char* typeKind) {
        std::string mangled = mangledTypeName(value);
        if (!mangled.empty()) {
            names.push_back(std::move(mangled));
            return;
        }
        manifest_.problems.push_back(std::string("The ") + typeKind + ": " + value +
                                     " referenced in \"" + manifestPath_ + "\" is not valid.");
        names.push_back(value);
    }

    const std::string& manifestPath_;
    LibraryRecord record_;
    LibraryManifest manifest_;
};

}  // namespace

std::string mangledTypeName(const std::string& name) {
    std::vector<std::string> pieces;
    KORCoreUtils::split(name, pieces, "::");
    if (pieces.size() < 2) {
        return std::string();
    }
    // The platform ABI's form of a class nested in namespaces: each name preceded by its length.
    std::string mangled = "N";
    for (const std::string& piece : pieces) {
        if (piece.empty()) {
            return std::string();
        }
        mangled += KORCoreUtils::toString(static_cast<unsigned int>(piece.size())) + piece;
    }
    return mangled + "E";
}

LibraryManifest readLibraryManifest(const std::string& manifestPath) {
    // No network access for external entities; parser complaints become our own problem text
    // instead of libxml2's default printing.
    const Document document(manifestPath.empty() ? nullptr
                                                 : xmlReadFile(manifestPath.c_str(), nullptr,
                                                               XML_PARSE_NONET | XML_PARSE_NOERROR |
                                                                   XML_PARSE_NOWARNING));
    const xmlNode* root = document ? xmlDocGetRootElement(document.get()) : nullptr;
    if (root == nullptr) {
        LibraryManifest failed;
        failed.problems.push_back("Error while loading Services Library manifest file " +
                                  manifestPath);
        return failed;
    }
    ManifestReading reading(manifestPath);
    reading.readLibrary(root);
    return reading.finish();
}

}  // namespace detail
}  // namespace ZAMUnified
