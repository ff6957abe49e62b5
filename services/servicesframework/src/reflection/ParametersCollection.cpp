#include <ZAMUnified/ParametersCollection.h>

#include <stdexcept>
#include <string>

namespace ZAMUnified {

ParametersCollection::ParametersCollection()
    : parameters(std::make_shared<std::vector<std::shared_ptr<FormalParameter>>>()) {}

void ParametersCollection::push_back(std::shared_ptr<FormalParameter> parameter) {
    parameters->push_back(std::move(parameter));
}

std::shared_ptr<FormalParameter> ParametersCollection::at(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= parameters->size()) {
        throw std::out_of_range("ParametersCollection::at: index " + std::to_string(index) +
                                " outside a list of " + std::to_string(parameters->size()));
    }
    return (*parameters)[static_cast<std::size_t>(index)];
}

int ParametersCollection::size() const {
    return static_cast<int>(parameters->size());
}

}  // namespace ZAMUnified
