// The platform stand-in's strict number parsing and split on arbitrary text. Integers are checked
// against a plain reference: blanks around, at most one sign ("-" only for signed types), then
// digits and nothing else; in range it is that value, out of range std::out_of_range, anything
// else std::invalid_argument and never another exception. Floats and truth values only throw
// those two and read back what they write. split's pieces join back to the text with the
// delimiter, and no piece holds the delimiter.
#include <KORCoreUtils.h>

#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>
#include <type_traits>
#include <vector>

namespace {

// Holds every value of the four integer types, and values past their ranges.
__extension__ typedef __int128 Wide;

const char* const kBlanks = " \t\n\r\f\v";

// `text` read by plain rules: blanks around, at most one sign ("-" only for a signed T), then
// digits and nothing else. Nothing when that fails; past 2^65 every value reads as 2^65, which no
// type holds, so that Wide never overflows.
template <typename T>
std::optional<Wide> referenceInteger(const std::string& text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) {
        return std::nullopt;
    }
    std::string number = text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
    const bool negative = number[0] == '-';
    if (negative && !std::is_signed_v<T>) {
        return std::nullopt;
    }
    if (negative || number[0] == '+') {
        number.erase(0, 1);
    }
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    Wide value = 0;
    for (const char digit : number) {
        value = std::min(value * 10 + (digit - '0'), Wide(1) << 65);
    }
    return negative ? -value : value;
}

// In range it is that value, out of range std::out_of_range, no number std::invalid_argument.
template <typename T>
void checkInteger(const std::string& text, T (*parse)(const std::string&)) {
    const std::optional<Wide> expected = referenceInteger<T>(text);
    const bool inRange = expected && *expected >= std::numeric_limits<T>::min() &&
                         *expected <= std::numeric_limits<T>::max();
    try {
        const T value = parse(text);
        SF_FUZZ_CHECK(inRange && static_cast<Wide>(value) == *expected);
        SF_FUZZ_CHECK(parse(KORCoreUtils::toString(value)) == value);
    } catch (const std::out_of_range&) {
        SF_FUZZ_CHECK(expected && !inRange);
    } catch (const std::invalid_argument&) {
        SF_FUZZ_CHECK(!expected);
    }
}

void checkFloat(const std::string& text) {
    try {
        const float value = KORCoreUtils::toFloat(text);
        SF_FUZZ_CHECK(std::isnan(value) ||
                      KORCoreUtils::toFloat(KORCoreUtils::toString(value)) == value);
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
    // split appends: what was in the vector stays in front.
    std::vector<std::string> pieces{"kept"};
    KORCoreUtils::split(text, pieces, delimiter);
    if (text.empty() || delimiter.empty()) {
        using Pieces = std::vector<std::string>;
        SF_FUZZ_CHECK(pieces == (text.empty() ? Pieces{"kept"} : Pieces{"kept", text}));
        return;
    }
    SF_FUZZ_CHECK(!pieces.empty() && pieces.front() == "kept");
    std::string joined;
    for (std::size_t i = 1; i < pieces.size(); ++i) {
        SF_FUZZ_CHECK(pieces[i].find(delimiter) == std::string::npos);
        joined += (i == 1 ? "" : delimiter) + pieces[i];
    }
    SF_FUZZ_CHECK(joined == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    const std::string delimiter = provider.ConsumeRandomLengthString(4);
    const std::string text = provider.ConsumeRemainingBytesAsString();

    checkInteger<int>(text, KORCoreUtils::toInt);
    checkInteger<unsigned int>(text, KORCoreUtils::toUnsignedInt);
    checkInteger<long>(text, KORCoreUtils::toLong);
    checkInteger<long long>(text, KORCoreUtils::toLongLong);
    // The defaulting form never throws and agrees with the strict one.
    SF_FUZZ_CHECK(KORCoreUtils::toUnsignedInt(text, 4242u) ==
                  sffuzz::attempt<unsigned int>(KORCoreUtils::toUnsignedInt, text).value_or(4242u));
    checkFloat(text);
    checkBool(text);
    checkSplit(text, delimiter);
    checkSplit(text, "/");
    checkSplit(text, "::");
    return 0;
}
