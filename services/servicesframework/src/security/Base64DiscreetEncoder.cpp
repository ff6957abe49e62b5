#include <zam/Base64DiscreetEncoder.h>

#include <zam/Base64Encoding.h>
#include <zam/SecureStringReader.h>
#include <zam/SecureStringUtils.h>

#include <cstring>
#include <new>

namespace zam {

namespace {

constexpr unsigned long kLineLength = 72;
constexpr unsigned char kInvalid = 255;

bool isLineBreakChar(char c) {
    return c == '\r' || c == '\n';
}

unsigned long countDataChars(const char* text, unsigned long length) {
    unsigned long count = 0;
    for (unsigned long i = 0; i < length; ++i) {
        count += isLineBreakChar(text[i]) ? 0 : 1;
    }
    return count;
}

// The group of three bytes and the group of four characters that every operation works through;
// zeroed whenever the operation returns.
struct GroupBuffers {
    unsigned char bytes[3] = {0, 0, 0};
    char chars[4] = {0, 0, 0, 0};

    GroupBuffers() = default;
    GroupBuffers(const GroupBuffers&) = delete;
    GroupBuffers& operator=(const GroupBuffers&) = delete;
    ~GroupBuffers() {
        guaranteed_memset(bytes, 0, sizeof(bytes));
        guaranteed_memset(chars, 0, sizeof(chars));
    }
};

// 1, 2 or 3 bytes of `groups.bytes` give 2, 3 or 4 characters in `groups.chars`.
unsigned int encodeGroup(const char* table, GroupBuffers& groups, unsigned int count) {
    const unsigned int b0 = groups.bytes[0];
    const unsigned int b1 = count > 1 ? groups.bytes[1] : 0;
    const unsigned int b2 = count > 2 ? groups.bytes[2] : 0;
    groups.chars[0] = table[b0 >> 2];
    groups.chars[1] = table[((b0 & 0x03) << 4) | (b1 >> 4)];
    if (count == 1) {
        return 2;
    }
    groups.chars[2] = table[((b1 & 0x0F) << 2) | (b2 >> 6)];
    if (count == 2) {
        return 3;
    }
    groups.chars[3] = table[b2 & 0x3F];
    return 4;
}

// decode() with the number of bytes written reported and the output bounded by `capacity`.
int decodeCounting(unsigned char* out, unsigned long capacity, const char* text,
                   unsigned long length, unsigned long& written) {
    written = 0;
    if (out == nullptr || text == nullptr || length == 0) {
        return -1;
    }
    if (countDataChars(text, length) % 4 != 0) {
        return -1;
    }
    const unsigned char* table = Base64Encoding::getInstance().getDecodingTable();
    GroupBuffers groups;
    unsigned int filled = 0;
    for (unsigned long i = 0; i < length; ++i) {
        if (isLineBreakChar(text[i])) {
            continue;
        }
        groups.chars[filled++] = text[i];
        if (filled < 4) {
            continue;
        }
        filled = 0;
        unsigned int d[4];
        for (unsigned int k = 0; k < 4; ++k) {
            d[k] = table[static_cast<unsigned char>(groups.chars[k])];
            if (d[k] == kInvalid) {
                return -1;
            }
        }
        groups.bytes[0] = static_cast<unsigned char>((d[0] << 2) | (d[1] >> 4));
        groups.bytes[1] = static_cast<unsigned char>((d[1] << 4) | (d[2] >> 2));
        groups.bytes[2] = static_cast<unsigned char>((d[2] << 6) | d[3]);
        unsigned long count = 3;
        count -= groups.chars[3] == '=' ? 1 : 0;
        count -= groups.chars[2] == '=' ? 1 : 0;
        if (count > capacity - written) {
            return -1;
        }
        std::memcpy(out + written, groups.bytes, count);
        written += count;
    }
    return 0;
}

// An array that is zeroed before it is freed, whichever way the scope is left.
template <typename T>
class ZeroedArray {
  public:
    explicit ZeroedArray(unsigned long size) : data_(new (std::nothrow) T[size]), size_(size) {}
    ~ZeroedArray() {
        if (data_ != nullptr) {
            guaranteed_memset(data_, 0, size_ * sizeof(T));
            delete[] data_;
        }
    }
    ZeroedArray(const ZeroedArray&) = delete;
    ZeroedArray& operator=(const ZeroedArray&) = delete;

    T* get() const { return data_; }

  private:
    T* data_;
    unsigned long size_;
};

}  // namespace

unsigned long Base64DiscreetEncoder::computeEncodedMessageLength(unsigned long count,
                                                                 bool lineBreaks) const {
    if (count == 0) {
        return 0;
    }
    const unsigned long length = ((count + 2) / 3) * 4;
    return lineBreaks ? length + 2 * ((length - 1) / kLineLength) : length;
}

unsigned long Base64DiscreetEncoder::computeDecodedMessageLength(const char* text,
                                                                 unsigned long length) const {
    if (text == nullptr || length == 0) {
        return 0;
    }
    const unsigned long count = countDataChars(text, length);
    if (count % 4 != 0) {
        return 0;
    }
    unsigned long bytes = (count / 4) * 3;
    if (length < 4) {
        return bytes;
    }
    // Only the last two characters of the whole text count, line breaks included.
    if (text[length - 1] == '=') {
        --bytes;
    }
    if (text[length - 2] == '=') {
        --bytes;
    }
    return bytes;
}

void Base64DiscreetEncoder::encode(char* out, const unsigned char* bytes, unsigned long count,
                                   bool lineBreaks) const {
    if (out == nullptr || bytes == nullptr || count == 0) {
        return;
    }
    const char* table = Base64Encoding::getInstance().getEncodingTable();
    GroupBuffers groups;
    unsigned long written = 0;  // characters, line breaks not counted
    // A line break goes before a group that starts a new line, so the text never ends with one.
    auto breakLine = [&]() {
        if (lineBreaks && written != 0 && written % kLineLength == 0) {
            *out++ = '\r';
            *out++ = '\n';
        }
    };
    unsigned long i = 0;
    for (; count - i >= 3; i += 3) {
        std::memcpy(groups.bytes, bytes + i, 3);
        breakLine();
        std::memcpy(out, groups.chars, encodeGroup(table, groups, 3));
        out += 4;
        written += 4;
    }
    const auto rest = static_cast<unsigned int>(count - i);
    if (rest != 0) {
        std::memcpy(groups.bytes, bytes + i, rest);
        breakLine();
        const unsigned int chars = encodeGroup(table, groups, rest);
        std::memcpy(out, groups.chars, chars);
        out += chars;
        for (unsigned int pad = chars; pad < 4; ++pad) {
            *out++ = '=';
        }
    }
}

int Base64DiscreetEncoder::decode(unsigned char* out, const char* text,
                                  unsigned long length) const {
    unsigned long written = 0;
    return decodeCounting(out, computeDecodedMessageLength(text, length), text, length, written);
}

SecureString base64_discreet_encode(const unsigned char* bytes, unsigned int count,
                                    bool lineBreaks) {
    if (bytes == nullptr || count == 0) {
        return SecureString();
    }
    const Base64DiscreetEncoder encoder;
    const unsigned long length = encoder.computeEncodedMessageLength(count, lineBreaks);
    const ZeroedArray<char> text(length);
    if (text.get() == nullptr) {
        return SecureString();
    }
    encoder.encode(text.get(), bytes, count, lineBreaks);
    return SecureString(text.get(), length);
}

int base64_discreet_decode(const SecureString& text, SecureString& bytes) {
    SecureStringReader reader;
    text.getUnsecureString(reader);
    if (reader.getBufSize() == 0) {
        return -1;
    }
    const Base64DiscreetEncoder encoder;
    const unsigned long reserved =
        encoder.computeDecodedMessageLength(reader.c_str(), reader.getBufSize());
    if (reserved == 0) {
        return -1;
    }
    const ZeroedArray<unsigned char> decoded(reserved);
    if (decoded.get() == nullptr) {
        return -1;
    }
    unsigned long written = 0;
    const int result =
        decodeCounting(decoded.get(), reserved, reader.c_str(), reader.getBufSize(), written);
    if (result == 0) {
        // Only what was decoded: padding inside the text or line breaks behind it make the
        // reservation larger than the data.
        bytes = SecureString(reinterpret_cast<const char*>(decoded.get()), written);
    }
    return result;
}

}  // namespace zam
