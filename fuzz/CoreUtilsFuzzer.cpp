// The platform stand-in's strict number parsing and split on arbitrary text. Integers are checked
// against a plain reference: blanks around, at most one sign ("-" only for signed types), then
// digits and nothing else; in range it is that value, out of range std::out_of_range, anything
// else std::invalid_argument and never another exception. Floats and truth values only throw
// those two and read back what they write. split's pieces join back to the text with the
// delimiter, and no piece holds the delimiter.
#include <KORCoreUtils.h>

#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Holds every value of the four integer types, and values past their ranges.
__extension__ typedef __int128 Wide;

enum class Outcome { Value, Invalid, OutOfRange };

const char* const kBlanks = " \t\n\r\f\v";

// What a strict parse of `text` as an integer in [low, high] must give, with the value in `out`.
Outcome referenceInteger(const std::string& text, bool allowMinus, Wide low, Wide high, Wide& out) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) {
        return Outcome::Invalid;
    }
    const auto last = text.find_last_not_of(kBlanks);
    std::string number = text.substr(first, last - first + 1);
    bool negative = false;
    if (number[0] == '+' || number[0] == '-') {
        negative = number[0] == '-';
        if (negative && !allowMinus) {
            return Outcome::Invalid;
        }
        number.erase(0, 1);
    }
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
        return Outcome::Invalid;
    }
    const auto significant = number.find_first_not_of('0');
    if (significant != std::string::npos && number.size() - significant > 30) {
        return Outcome::OutOfRange;
    }
    Wide value = 0;
    for (const char digit : number) {
        value = value * 10 + (digit - '0');
    }
    if (negative) {
        value = -value;
    }
    if (value < low || value > high) {
        return Outcome::OutOfRange;
    }
    out = value;
    return Outcome::Value;
}

template <typename T, typename Parse>
void checkInteger(const std::string& text, bool allowMinus, Parse parse) {
    Wide expected = 0;
    const Outcome outcome = referenceInteger(text, allowMinus, std::numeric_limits<T>::min(),
                                             std::numeric_limits<T>::max(), expected);
    try {
        const T value = parse(text);
        SF_FUZZ_CHECK(outcome == Outcome::Value);
        SF_FUZZ_CHECK(static_cast<Wide>(value) == expected);
        SF_FUZZ_CHECK(parse(KORCoreUtils::toString(value)) == value);
    } catch (const std::out_of_range&) {
        SF_FUZZ_CHECK(outcome == Outcome::OutOfRange);
    } catch (const std::invalid_argument&) {
        SF_FUZZ_CHECK(outcome == Outcome::Invalid);
    }
}

void checkFloat(const std::string& text) {
    try {
        const float value = KORCoreUtils::toFloat(text);
        if (!std::isnan(value)) {
            SF_FUZZ_CHECK(KORCoreUtils::toFloat(KORCoreUtils::toString(value)) == value);
        }
        // A number needs at least one digit, or one of the words from_chars knows.
        SF_FUZZ_CHECK(text.find_first_of("0123456789iInN") != std::string::npos);
    } catch (const std::out_of_range&) {
    } catch (const std::invalid_argument&) {
    }
}

void checkBool(const std::string& text) {
    try {
        const bool value = KORCoreUtils::toBool(text);
        SF_FUZZ_CHECK(KORCoreUtils::toBool(KORCoreUtils::toString(value)) == value);
    } catch (const std::invalid_argument&) {
    }
}

void checkSplit(const std::string& text, const std::string& delimiter) {
    std::vector<std::string> pieces{"kept"};
    KORCoreUtils::split(text, pieces, delimiter);
    // split appends: what was in the vector stays in front.
    SF_FUZZ_CHECK(!pieces.empty() && pieces.front() == "kept");
    pieces.erase(pieces.begin());
    if (text.empty()) {
        SF_FUZZ_CHECK(pieces.empty());
        return;
    }
    if (delimiter.empty()) {
        SF_FUZZ_CHECK(pieces.size() == 1 && pieces.front() == text);
        return;
    }
    std::string joined;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        SF_FUZZ_CHECK(pieces[i].find(delimiter) == std::string::npos);
        joined += (i == 0 ? "" : delimiter) + pieces[i];
    }
    SF_FUZZ_CHECK(joined == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    const std::string delimiter = provider.ConsumeRandomLengthString(4);
    const std::string text = provider.ConsumeRemainingBytesAsString();

    checkInteger<int>(text, true, [](const std::string& t) { return KORCoreUtils::toInt(t); });
    checkInteger<unsigned int>(text, false,
                               [](const std::string& t) { return KORCoreUtils::toUnsignedInt(t); });
    checkInteger<long>(text, true, [](const std::string& t) { return KORCoreUtils::toLong(t); });
    checkInteger<long long>(text, true,
                            [](const std::string& t) { return KORCoreUtils::toLongLong(t); });
    // The defaulting form never throws and agrees with the strict one.
    unsigned int strict = 0;
    bool parsed = true;
    try {
        strict = KORCoreUtils::toUnsignedInt(text);
    } catch (const std::exception&) {
        parsed = false;
    }
    SF_FUZZ_CHECK(KORCoreUtils::toUnsignedInt(text, 4242u) == (parsed ? strict : 4242u));
    checkFloat(text);
    checkBool(text);
    checkSplit(text, delimiter);
    checkSplit(text, "/");
    checkSplit(text, "::");
    return 0;
}
