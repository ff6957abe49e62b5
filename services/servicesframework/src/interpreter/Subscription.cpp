#include <ZAMUnified/Subscription.h>

#include <utility>

namespace ZAMUnified {

Subscription::Subscription(std::string path, std::string identifier)
    : Request(std::move(path)), friendlyIdentifier(std::move(identifier)) {}

Subscription::Subscription(std::string path, std::string identifier,
                           NonListPropertyCallback nonList, BasicListPropertyCallback basicList,
                           ObjectListPropertyCallback objectList,
                           MutableObjectListPropertyCallback mutableObjectList)
    : Request(std::move(path)),
      friendlyIdentifier(std::move(identifier)),
      nonListPropertyCallback(std::move(nonList)),
      basicListPropertyCallback(std::move(basicList)),
      objectListPropertyCallback(std::move(objectList)),
      mutableObjectListPropertyCallback(std::move(mutableObjectList)) {}

NonListPropertyCallback Subscription::getNonListPropertyCallback() const {
    return nonListPropertyCallback;
}

void Subscription::setNonListPropertyCallback(NonListPropertyCallback callback) {
    nonListPropertyCallback = std::move(callback);
}

BasicListPropertyCallback Subscription::getBasicListPropertyCallback() const {
    return basicListPropertyCallback;
}

void Subscription::setBasicListPropertyCallback(BasicListPropertyCallback callback) {
    basicListPropertyCallback = std::move(callback);
}

ObjectListPropertyCallback Subscription::getObjectListPropertyCallback() const {
    return objectListPropertyCallback;
}

void Subscription::setObjectListPropertyCallback(ObjectListPropertyCallback callback) {
    objectListPropertyCallback = std::move(callback);
}

MutableObjectListPropertyCallback Subscription::getMutableObjectListPropertyCallback() const {
    return mutableObjectListPropertyCallback;
}

void Subscription::setMutableObjectListPropertyCallback(
    MutableObjectListPropertyCallback callback) {
    mutableObjectListPropertyCallback = std::move(callback);
}

}  // namespace ZAMUnified
