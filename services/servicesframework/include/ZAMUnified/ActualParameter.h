// ZAMUnified::ActualParameter<T>: an argument that carries its value in the public field `value`,
// which service code reads after a dynamic pointer cast to the exact instantiation. The twenty
// value types are listed at the end of this file and built once in the library, so that every
// plug-in shares one type identity. Threading: immutable for the framework; shared lists and
// secure strings follow their own rules.
// Failure: a cast to another instantiation gives an empty pointer.
#ifndef ZAMUNIFIED_ACTUALPARAMETER_H
#define ZAMUNIFIED_ACTUALPARAMETER_H

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <ZAMUnified/FormalParameter.h>
#include <zam/SecureString.h>

namespace ZAMUnified {

template <typename T>
class ActualParameter : public FormalParameter {
  public:
    // A list value is a shared pointer, so the parameter shares the vector with the caller; a
    // secure string is a second handle on the same encrypted value.
    ActualParameter(const std::string& type, const std::string& name, T initialValue)
        : FormalParameter(type, name), value(std::move(initialValue)) {}
    ~ActualParameter() override {}

    T value;
};

// The value types a text front end can name; each one's type names are in
// ToFormalParameterConversions.h.
extern template class ActualParameter<int>;
extern template class ActualParameter<unsigned int>;
extern template class ActualParameter<float>;
extern template class ActualParameter<bool>;
extern template class ActualParameter<long>;
extern template class ActualParameter<char>;
extern template class ActualParameter<std::string>;
extern template class ActualParameter<std::wstring>;
extern template class ActualParameter<zam::SecureString>;
extern template class ActualParameter<long long>;
extern template class ActualParameter<std::shared_ptr<std::vector<int>>>;
extern template class ActualParameter<std::shared_ptr<std::vector<unsigned int>>>;
extern template class ActualParameter<std::shared_ptr<std::vector<float>>>;
extern template class ActualParameter<std::shared_ptr<std::vector<bool>>>;
extern template class ActualParameter<std::shared_ptr<std::vector<long>>>;
extern template class ActualParameter<std::shared_ptr<std::vector<char>>>;
extern template class ActualParameter<std::shared_ptr<std::vector<std::string>>>;
extern template class ActualParameter<std::shared_ptr<std::vector<std::wstring>>>;
extern template class ActualParameter<std::shared_ptr<std::vector<zam::SecureString>>>;
extern template class ActualParameter<std::shared_ptr<std::vector<long long>>>;

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_ACTUALPARAMETER_H
