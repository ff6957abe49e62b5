#include <ZAMUnified/FactoryReports.h>

#include <ZAMUnified/LibraryLoader.h>
#include <ZAMUnified/LibraryRecord.h>
#include <ZAMUnified/Processing/TaskDispatcher.h>
#include <ZAMUnified/TypeMap.h>
#include <ZAMUnified/UnifiedService.h>

#include "interpreter/detail/ServiceNames.h"

#include <filesystem>
#include <set>
#include <system_error>

namespace ZAMUnified {

namespace {

ServiceReport serviceReport(const std::string& mangled) {
    ServiceReport report;
    report.type = detail::demangledName(mangled);
    report.name = detail::lastNameComponent(report.type);
    return report;
}

std::vector<std::string> demangled(const std::vector<std::string>& names) {
    std::vector<std::string> result;
    for (const std::string& name : names) {
        result.push_back(detail::demangledName(name));
    }
    return result;
}

// A built-in record names its library whether or not it was installed beside the framework.
bool installed(const LibraryRecord& record) {
    std::error_code error;
    return std::filesystem::exists(record.path, error);
}

}  // namespace

std::vector<ServiceReport> reportServices(UnifiedFactory& factory) {
    std::vector<ServiceReport> reports;
    std::set<std::string> listed;
    const auto registry = factory.getServiceRegistry();
    auto registered = [&](const std::string& mangled) {
        return registry->getItem<UnifiedService>(mangled) != nullptr;
    };
    if (auto loader = factory.getLibraryLoader()) {
        for (const LibraryRecord& record : loader->getLibraryRecords()) {
            for (std::size_t i = 0; i < record.serviceNames.size(); ++i) {
                const std::string& mangled = record.serviceNames[i];
                ServiceReport report = serviceReport(mangled);
                // Names and ids are separate lists; a record usually pairs them one to one.
                if (record.serviceIds.size() == record.serviceNames.size()) {
                    report.hasId = true;
                    report.id = record.serviceIds[i];
                }
                report.library = record.name;
                report.loaded = registered(mangled);
                report.installed = report.loaded || installed(record);
                reports.push_back(report);
                listed.insert(mangled);
            }
        }
    }
    for (const auto& entry : registry->itemsByName()) {
        if (listed.count(entry.first) == 0) {
            ServiceReport report = serviceReport(entry.first);
            report.loaded = true;
            reports.push_back(report);
        }
    }
    return reports;
}

std::vector<LibraryReport> reportLibraries(UnifiedFactory& factory) {
    std::vector<LibraryReport> reports;
    const auto loader = factory.getLibraryLoader();
    if (!loader) {
        return reports;
    }
    for (const LibraryStatus& status : loader->getLibraryStatuses()) {
        const LibraryRecord& record = status.record;
        LibraryReport report;
        report.name = record.name;
        report.path = record.path;
        report.state = status.state == LibraryStatus::State::Loaded   ? "loaded"
                       : status.state == LibraryStatus::State::Failed ? "failed"
                       : installed(record)                            ? "not loaded"
                                                                      : "not installed";
        if (status.state == LibraryStatus::State::Failed) {
            report.reason = status.reason;
        }
        report.services = demangled(record.serviceNames);
        report.serviceIds = record.serviceIds;
        report.featureSets = demangled(record.featureSetNames);
        report.featureSetIds = record.featureSetIds;
        report.authenticators = record.authenticatorNames;
        report.authenticatorIds = record.authenticatorIds;
        report.version = record.version;
        report.frameworkVersion = record.frameworkVersion;
        reports.push_back(report);
    }
    return reports;
}

StatisticsReport reportStatistics(UnifiedFactory& factory) {
    StatisticsReport report;
    report.dispatcher = factory.getServicesDispatcher()->getStatistics();
    report.backgroundPool = factory.getBackgroundDispatcher()->getStatistics();
    return report;
}

}  // namespace ZAMUnified
