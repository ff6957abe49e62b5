// ZAMUnified factory reports: what a factory knows, as plain data for text front ends: the
// services (loaded or only promised by a library record), the library records with their state
// and load-failure reasons, and the dispatcher's and background pool's statistics.
// Threading: any thread that may use the factory's registries and loader; the dispatcher thread
// in a host. Failure: a factory without a library loader reports no records.
#ifndef ZAMUNIFIED_FACTORYREPORTS_H
#define ZAMUNIFIED_FACTORYREPORTS_H

#include <string>
#include <vector>

#include <ZAMUnified/ServicesDispatcher.h>
#include <ZAMUnified/UnifiedFactory.h>
#include <zam/ThreadPool.h>

namespace ZAMUnified {

struct ServiceReport {
    std::string name;  // the class's short name: "HelloWorldService"
    std::string type;  // qualified: "ZAMUnified::HelloWorldService"
    bool hasId = false;
    unsigned int id = 0;
    std::string library;  // the record that promises it; "" for a service no record lists
    bool loaded = false;  // registered with the factory
    // The library file of its record exists (a service no record lists is installed).
    bool installed = true;
};

struct LibraryReport {
    std::string name;
    std::string path;
    std::string state;                  // "not loaded", "loaded" or "failed"
    std::string reason;                 // why it failed; "" unless failed
    std::vector<std::string> services;  // qualified type names
    std::vector<unsigned int> serviceIds;
    std::vector<std::string> featureSets;  // qualified type names
    std::vector<unsigned int> featureSetIds;
    std::vector<std::string> authenticators;
    std::vector<unsigned int> authenticatorIds;
    std::string version;           // the library's own, from its manifest; "" when not given
    std::string frameworkVersion;  // the framework interface it recorded; "" when not known
};

struct StatisticsReport {
    ServicesDispatcher::Statistics dispatcher;
    zam::ThreadPool::Statistics backgroundPool;
};

// Every service the records promise, in record order, then every registered service that no
// record lists.
std::vector<ServiceReport> reportServices(UnifiedFactory& factory);
// In the loader's record order.
std::vector<LibraryReport> reportLibraries(UnifiedFactory& factory);
StatisticsReport reportStatistics(UnifiedFactory& factory);

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_FACTORYREPORTS_H
