#include <ZAMUnified/ParametersCollection.h>

#include <stdexcept>
#include <string>

namespace ZAMUnified {

namespace {

constexpr std::size_t kInitialCapacity = 4;

}  // namespace

ParametersCollection::ParametersCollection()
    : parameters(std::make_shared<std::vector<std::shared_ptr<FormalParameter>>>()) {}

void ParametersCollection::push_back(std::shared_ptr<FormalParameter> parameter) {
    if (parameters->capacity() == 0) {
        // Argument lists are short: room for a few up front saves growing one step at a time.
        parameters->reserve(kInitialCapacity);
    }
    parameters->push_back(std::move(parameter));
}

std::shared_ptr<FormalParameter> ParametersCollection::at(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= parameters->size()) {
        throw std::out_of_range("ParametersCollection::at: index " + std::to_string(index) +
                                " outside a list of " + std::to_string(parameters->size()));
    }
    return (*parameters)[static_cast<std::size_t>(index)];
}

}  // namespace ZAMUnified
