#include <zam/Base64FamilyEncoder.h>

#include <zam/Encoding.h>

#include "security/detail/Base64Codec.h"

#include <cstdint>

namespace zam {

namespace {

// Scans `text` from the right and replaces the rightmost occurrences of `from` by `to`, at most
// `limit` times, exactly as repeated rfind-and-replace would (an occurrence that a replacement
// brings together counts too), but in one pass. Returns how many it replaced.
long replaceFromRight(std::string& text, const std::string& from, const std::string& to,
                      long limit) {
    const std::size_t width = from.size();
    if (width == 0 || limit <= 0) {
        return 0;
    }
    std::string reversed;
    reversed.reserve(text.size());
    long replaced = 0;
    for (std::size_t i = text.size(); i-- > 0;) {
        reversed.push_back(text[i]);
        if (replaced == limit || reversed.size() < width) {
            continue;
        }
        bool match = true;
        for (std::size_t j = 0; j < width && match; ++j) {
            match = reversed[reversed.size() - 1 - j] == from[j];
        }
        if (match) {
            reversed.resize(reversed.size() - width);
            reversed.append(to.rbegin(), to.rend());
            ++replaced;
        }
    }
    text.assign(reversed.rbegin(), reversed.rend());
    return replaced;
}

}  // namespace

Base64FamilyEncoder::Base64FamilyEncoder(Encoding* encoding) noexcept : encoding_(encoding) {}

std::string Base64FamilyEncoder::encode(const unsigned char* bytes, unsigned int count,
                                        bool lineBreaks) const {
    if (encoding_ == nullptr) {
        return std::string();
    }
    return detail::encodeBase64Family(*encoding_, bytes, count, true, lineBreaks);
}

std::string Base64FamilyEncoder::encodeWithoutPadding(const unsigned char* bytes,
                                                      unsigned int count, bool lineBreaks) const {
    if (encoding_ == nullptr) {
        return std::string();
    }
    return detail::encodeBase64Family(*encoding_, bytes, count, false, lineBreaks);
}

int Base64FamilyEncoder::decode(const std::string& text, std::vector<unsigned char>& bytes) const {
    if (encoding_ == nullptr) {
        return text.empty() ? -1 : -2;
    }
    return detail::decodeBase64Family(*encoding_, text, false, bytes);
}

int Base64FamilyEncoder::decodeWithoutPadding(const std::string& text,
                                              std::vector<unsigned char>& bytes) const {
    if (encoding_ == nullptr) {
        return text.empty() ? -1 : -2;
    }
    return detail::decodeBase64Family(*encoding_, text, true, bytes);
}

void Base64FamilyEncoder::encodeGroup(const unsigned char* group, unsigned int count,
                                      std::string& text) const {
    if (group == nullptr || count == 0 || count > BYTES_PER_GROUP) {
        return;
    }
    const char* table = encoding_->getEncodingTable();
    const unsigned int b0 = group[0];
    const unsigned int b1 = count > 1 ? group[1] : 0;
    const unsigned int b2 = count > 2 ? group[2] : 0;
    text += table[b0 >> 2];
    text += table[((b0 & 0x03) << 4) | (b1 >> 4)];
    if (count > 1) {
        text += table[((b1 & 0x0F) << 2) | (b2 >> 6)];
    }
    if (count > 2) {
        text += table[b2 & 0x3F];
    }
}

std::string Base64FamilyEncoder::addMissingPaddingChars(const std::string& text) const {
    const int missing = computePaddingCharsNeeded(text, getNewLines(text), 0);
    std::string padded = text;
    for (int i = 0; i < missing; ++i) {
        padded += encoding_->getEncodedPaddingChars();
    }
    return padded;
}

long Base64FamilyEncoder::getNewLines(const std::string& text) const {
    return static_cast<long>(detail::countLineBreaks(text.data(), text.size()));
}

void Base64FamilyEncoder::eraseNewLines(std::string& text) const {
    // Erasing the first "\r\n" again and again ends in the same text as this stack: a "\n" that
    // meets a kept "\r" removes it.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n' && kept != 0 && text[kept - 1] == '\r') {
            --kept;
        } else {
            text[kept++] = c;
        }
    }
    text.resize(kept);
}

long Base64FamilyEncoder::getPaddingChars(const std::string& text) const {
    const std::string& padding = encoding_->getEncodedPaddingChars();
    if (padding.empty()) {
        return 0;
    }
    std::size_t pos = text.find(padding);
    if (pos == std::string::npos) {
        return 0;
    }
    long count = 1;
    pos += padding.size();
    while (pos < text.size()) {
        if (text.compare(pos, padding.size(), padding) == 0) {
            ++count;
            pos += padding.size();
        } else if (text.compare(pos, LINE_BREAK_LENGTH, LINE_BREAK) == 0) {
            pos += LINE_BREAK_LENGTH;
        } else {
            return -1;
        }
    }
    return count;
}

bool Base64FamilyEncoder::weakCheckNewLines(const std::string& text) const {
    const std::size_t first = detail::findLineBreak(text.data(), text.size(), 0);
    if (first == text.size()) {
        return true;
    }
    const std::size_t period = first + LINE_BREAK_LENGTH;
    for (std::size_t pos = first; pos < text.size(); pos += period) {
        if (text.compare(pos, LINE_BREAK_LENGTH, LINE_BREAK) != 0 &&
            !isInsideEncodedPaddingChar(text, pos)) {
            return false;
        }
    }
    return true;
}

bool Base64FamilyEncoder::isInsideEncodedPaddingChar(const std::string& text,
                                                     std::size_t position) const {
    const std::string& padding = encoding_->getEncodedPaddingChars();
    for (std::size_t back = 0; back < padding.size() && back <= position; ++back) {
        const std::size_t start = position - back;
        if (start + padding.size() <= text.size() &&
            text.compare(start, padding.size(), padding) == 0) {
            return true;
        }
    }
    return false;
}

bool Base64FamilyEncoder::checkInputSize(const std::string& text, long lineBreaks,
                                         long paddings) const {
    return computeLastGroupSize(text, lineBreaks, paddings,
                                encoding_->getEncodedPaddingChars().size()) != 1;
}

int Base64FamilyEncoder::computeLastGroupSize(const std::string& text, long lineBreaks,
                                              long paddings, std::size_t paddingLength) const {
    // Unsigned arithmetic wraps, which keeps the low two bits right even for odd inputs.
    const std::uint64_t length =
        static_cast<std::uint64_t>(text.size()) -
        static_cast<std::uint64_t>(paddingLength) * static_cast<std::uint64_t>(paddings) -
        LINE_BREAK_LENGTH * static_cast<std::uint64_t>(lineBreaks);
    return static_cast<int>(static_cast<std::uint32_t>(length) & 3U);
}

int Base64FamilyEncoder::computePaddingCharsNeeded(const std::string& text, long lineBreaks,
                                                   long paddings) const {
    const int lastGroup = computeLastGroupSize(text, lineBreaks, paddings,
                                               encoding_->getEncodedPaddingChars().size());
    return (4 - lastGroup) & 3;
}

long Base64FamilyEncoder::removeUnnecessaryEncodedPaddingChars(std::string& text, long lineBreaks,
                                                               long paddings) const {
    const long needed = computePaddingCharsNeeded(text, lineBreaks, paddings);
    if (paddings < needed) {
        return -1;
    }
    if (paddings == needed) {
        return needed;
    }
    const long surplus = paddings - needed;
    const long erased =
        replaceFromRight(text, encoding_->getEncodedPaddingChars(), std::string(), surplus);
    return erased == surplus ? needed : -2;
}

void Base64FamilyEncoder::decodeEndingPaddingChars(std::string& text, long count) const {
    if (!encoding_->isPaddingCharEncoded()) {
        return;
    }
    replaceFromRight(text, encoding_->getEncodedPaddingChars(), encoding_->getDecodedPaddingChars(),
                     count);
}

int Base64FamilyEncoder::decodeGroup(const std::string& group,
                                     std::vector<unsigned char>& bytes) const {
    if (group.size() != CHARS_PER_GROUP || !checkCharGroup(group)) {
        return -1;
    }
    const unsigned char* table = encoding_->getDecodingTable();
    const unsigned int d0 = table[static_cast<unsigned char>(group[0])];
    const unsigned int d1 = table[static_cast<unsigned char>(group[1])];
    const unsigned int d2 = table[static_cast<unsigned char>(group[2])];
    const unsigned int d3 = table[static_cast<unsigned char>(group[3])];
    bytes.push_back(static_cast<unsigned char>((d0 << 2) | (d1 >> 4)));
    bytes.push_back(static_cast<unsigned char>((d1 << 4) | (d2 >> 2)));
    bytes.push_back(static_cast<unsigned char>((d2 << 6) | d3));
    return 0;
}

bool Base64FamilyEncoder::checkCharGroup(const std::string& group) const {
    const unsigned char* table = encoding_->getDecodingTable();
    for (const char c : group) {
        if (table[static_cast<unsigned char>(c)] == 255) {
            return false;
        }
    }
    return true;
}

}  // namespace zam
