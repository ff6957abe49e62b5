#include <zam/SecureStringReader.h>

#include <zam/SecureStringUtils.h>

namespace zam {

void SecureStringReaderData::destroy() noexcept {
    if (buffer != nullptr) {
        SecureStringUtils::ZAMZeroMemory(buffer, size);
        delete[] buffer;
        buffer = nullptr;
    }
    size = 0;
}

SecureStringReader::SecureStringReader() : data_(new SecureStringReaderData) {}

SecureStringReader::SecureStringReader(char* buffer, unsigned long size)
    : data_(new SecureStringReaderData) {
    static_cast<void>(setValue(buffer, size));
}

SecureStringReader::~SecureStringReader() {
    data_->destroy();
    delete data_;
}

bool SecureStringReader::setValue(const char* buffer, unsigned long size) {
    if (buffer != nullptr && buffer == data_->buffer) {
        // Releasing first would free the array the caller hands back to us.
        if (size == 0) {
            data_->destroy();
            return false;
        }
        data_->size = size;
        return true;
    }
    data_->destroy();
    if (buffer == nullptr || size == 0) {
        return false;
    }
    data_->buffer = const_cast<char*>(buffer);
    data_->size = size;
    return true;
}

const char* SecureStringReader::c_str() const {
    return (data_->buffer != nullptr && data_->size != 0) ? data_->buffer : "";
}

unsigned long SecureStringReader::getBufSize() const {
    return data_->size;
}

}  // namespace zam
