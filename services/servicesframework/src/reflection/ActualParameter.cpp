#include <ZAMUnified/ActualParameter.h>

namespace ZAMUnified {

// The twenty value types of the reflection layer, built here once so that hosts, plug-ins and
// the framework share one type identity for the dynamic casts. Keep in step with the extern
// declarations in the header.
template class ActualParameter<int>;
template class ActualParameter<unsigned int>;
template class ActualParameter<float>;
template class ActualParameter<bool>;
template class ActualParameter<long>;
template class ActualParameter<char>;
template class ActualParameter<std::string>;
template class ActualParameter<std::wstring>;
template class ActualParameter<zam::SecureString>;
template class ActualParameter<long long>;
template class ActualParameter<std::shared_ptr<std::vector<int>>>;
template class ActualParameter<std::shared_ptr<std::vector<unsigned int>>>;
template class ActualParameter<std::shared_ptr<std::vector<float>>>;
template class ActualParameter<std::shared_ptr<std::vector<bool>>>;
template class ActualParameter<std::shared_ptr<std::vector<long>>>;
template class ActualParameter<std::shared_ptr<std::vector<char>>>;
template class ActualParameter<std::shared_ptr<std::vector<std::string>>>;
template class ActualParameter<std::shared_ptr<std::vector<std::wstring>>>;
template class ActualParameter<std::shared_ptr<std::vector<zam::SecureString>>>;
template class ActualParameter<std::shared_ptr<std::vector<long long>>>;

}  // namespace ZAMUnified
