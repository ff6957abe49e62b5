// ZAMUnified::ParametersCollection: the argument list that travels with a reflected call, in
// argument order. Copies of a collection share one list.
//
// Threading: no lock; fill it on one thread before handing it to the interpreter.
// Failure: at() throws std::out_of_range for an index outside the list.
#ifndef ZAMUNIFIED_PARAMETERSCOLLECTION_H
#define ZAMUNIFIED_PARAMETERSCOLLECTION_H

#include <cstddef>
#include <memory>
#include <vector>

#include <ZAMUnified/FormalParameter.h>

namespace ZAMUnified {

class ParametersCollection {
  public:
    ParametersCollection();

    void push_back(std::shared_ptr<FormalParameter> parameter);
    // Throws std::out_of_range for a negative index or one of size() or more.
    std::shared_ptr<FormalParameter> at(int index) const;
    // The stored pointer itself, for readers that need no copy of it; unlike at(), the index is
    // not checked and must be below size().
    const std::shared_ptr<FormalParameter>& operator[](int index) const {
        return (*parameters)[static_cast<std::size_t>(index)];
    }
    int size() const { return static_cast<int>(parameters->size()); }

  private:
    // Shared on copy, so every copy sees one list.
    std::shared_ptr<std::vector<std::shared_ptr<FormalParameter>>> parameters;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_PARAMETERSCOLLECTION_H
