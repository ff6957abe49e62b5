#include "security/detail/Base64Codec.h"

#include <zam/Encoding.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

namespace zam::detail {
namespace {

constexpr std::size_t kGroupsPerLine = 18;  // 72 characters

// The first `c` in the `length` characters at `text`, or null. A few characters (a padding tail,
// the end of a short value) are read in place, which is cheaper than the library call; from
// eight on the library's vector search is faster.
inline const char* findCharacter(const char* text, std::size_t length, char c) {
    if (length >= 8) {
        return static_cast<const char*>(std::memchr(text, static_cast<unsigned char>(c), length));
    }
    for (std::size_t i = 0; i < length; ++i) {
        if (text[i] == c) {
            return text + i;
        }
    }
    return nullptr;
}

inline void encodeFullGroup(const char* table, const unsigned char* in, char* out) {
    const std::uint32_t v = (std::uint32_t{in[0]} << 16) | (std::uint32_t{in[1]} << 8) | in[2];
    out[0] = table[v >> 18];
    out[1] = table[(v >> 12) & 0x3F];
    out[2] = table[(v >> 6) & 0x3F];
    out[3] = table[v & 0x3F];
}

// Long inputs are encoded two characters per look-up, from a table of every 12-bit value's pair
// of characters. Building it costs about as much as encoding 12 KiB the plain way, so it pays
// only above this many groups; it is built per call because an Encoding's table is its own.
constexpr std::size_t kPairTableGroups = 16384;

struct PairTable {
    explicit PairTable(const char* table) {
        for (std::uint32_t v = 0; v < 4096; ++v) {
            const char pair[2] = {table[v >> 6], table[v & 0x3F]};
            std::memcpy(&pairs[v], pair, sizeof pair);
        }
    }
    std::uint16_t pairs[4096];
};

// Two groups, six bytes, give eight characters. Reads eight bytes, so at least eight must remain.
inline void encodeTwoGroups(const PairTable& table, const unsigned char* in, char* out) {
    std::uint64_t raw;
    std::memcpy(&raw, in, sizeof raw);
    const std::uint64_t v = __builtin_bswap64(raw) >> 16;  // in[0] to in[5], most significant first
    const std::uint16_t pairs[4] = {table.pairs[v >> 36], table.pairs[(v >> 24) & 0xFFF],
                                    table.pairs[(v >> 12) & 0xFFF], table.pairs[v & 0xFFF]};
    std::memcpy(out, pairs, sizeof pairs);
}

// One or two bytes give two or three characters.
inline std::size_t encodeShortGroup(const char* table, const unsigned char* in, std::size_t count,
                                    char* out) {
    out[0] = table[in[0] >> 2];
    if (count == 1) {
        out[1] = table[(in[0] & 0x03) << 4];
        return 2;
    }
    out[1] = table[((in[0] & 0x03) << 4) | (in[1] >> 4)];
    out[2] = table[(in[1] & 0x0F) << 2];
    return 3;
}

// Long texts are decoded through four tables, one per position in a group, that hold each
// character's bits already in place in the group's three bytes (in memory order), so a group is
// four look-ups, three ors and one four-byte store. A character outside the alphabet sets the top
// bit, which no valid group has. Building them costs about as much as decoding 4 KiB the plain
// way; like the encoder's pair table they are built per call, from the Encoding's own table.
constexpr std::size_t kWideTableCharacters = 65536;
constexpr std::uint32_t kWideBad = 0x80000000U;

struct WideTables {
    explicit WideTables(const unsigned char* table) {
        for (std::uint32_t c = 0; c < 256; ++c) {
            const std::uint32_t d = table[c];
            if ((d & 0x80U) != 0) {
                at[0][c] = at[1][c] = at[2][c] = at[3][c] = kWideBad;
                continue;
            }
            // Bytes of the group: b0 = d0 << 2 | d1 >> 4, b1 = d1 << 4 | d2 >> 2, b2 = d2 << 6 |
            // d3.
            at[0][c] = toMemoryOrder(d << 18);
            at[1][c] = toMemoryOrder(d << 12);
            at[2][c] = toMemoryOrder(d << 6);
            at[3][c] = toMemoryOrder(d);
        }
    }
    // A 24-bit group value, most significant byte first, as the word whose bytes in memory are
    // the group's three bytes in order.
    static std::uint32_t toMemoryOrder(std::uint32_t v) {
        const unsigned char bytes[4] = {static_cast<unsigned char>(v >> 16),
                                        static_cast<unsigned char>(v >> 8),
                                        static_cast<unsigned char>(v), 0};
        std::uint32_t word;
        std::memcpy(&word, bytes, sizeof word);
        return word;
    }
    std::uint32_t at[4][256];
};

// Turns a stream of characters into bytes, four characters at a time, across any number of
// pieces. A character outside the alphabet only marks the result bad, so that the loop stays free
// of branches; callers look at `bad` when the stream ends. With wide tables every group stores
// four bytes, the fourth of which the next group (or the caller's slack) overwrites, so the
// output needs one byte of room beyond the decoded bytes.
class GroupDecoder {
  public:
    GroupDecoder(const unsigned char* table, unsigned char* out, const WideTables* wide = nullptr)
        : table_(table), wide_(wide), out_(out) {}

    void feed(const char* text, std::size_t length) {
        const auto* in = reinterpret_cast<const unsigned char*>(text);
        if (carryLength_ != 0) {
            while (carryLength_ < 4 && length != 0) {
                carry_[carryLength_++] = *in++;
                --length;
            }
            if (carryLength_ < 4) {
                return;
            }
            decodeGroup(carry_);
            carryLength_ = 0;
        }
        // Locals rather than members in the hot loop: stores through the unsigned char output
        // pointer could alias the members, which would force a reload after every group.
        const unsigned char* table = table_;
        unsigned char* out = out_;
        std::uint32_t bad = bad_;
        const unsigned char* end = in + (length & ~std::size_t{3});
        if (wide_ != nullptr) {
            const WideTables& wide = *wide_;
            std::uint32_t wideBad = 0;
            for (; in != end; in += 4, out += 3) {
                const std::uint32_t word =
                    wide.at[0][in[0]] | wide.at[1][in[1]] | wide.at[2][in[2]] | wide.at[3][in[3]];
                wideBad |= word;
                std::memcpy(out, &word, sizeof word);
            }
            bad |= (wideBad & kWideBad) != 0 ? 0x80U : 0U;
        }
        for (; in != end; in += 4, out += 3) {
            const std::uint32_t d0 = table[in[0]];
            const std::uint32_t d1 = table[in[1]];
            const std::uint32_t d2 = table[in[2]];
            const std::uint32_t d3 = table[in[3]];
            bad |= d0 | d1 | d2 | d3;
            const std::uint32_t v = (d0 << 18) | (d1 << 12) | (d2 << 6) | d3;
            out[0] = static_cast<unsigned char>(v >> 16);
            out[1] = static_cast<unsigned char>(v >> 8);
            out[2] = static_cast<unsigned char>(v);
        }
        out_ = out;
        bad_ = bad;
        for (std::size_t i = 0; i < (length & 3); ++i) {
            carry_[carryLength_++] = in[i];
        }
    }

    bool bad() const { return (bad_ & 0x80U) != 0; }
    bool incomplete() const { return carryLength_ != 0; }
    // Whether the characters held back for an unfinished group include `c`.
    bool holds(char c) const {
        for (std::size_t i = 0; i < carryLength_; ++i) {
            if (carry_[i] == static_cast<unsigned char>(c)) {
                return true;
            }
        }
        return false;
    }
    unsigned char* position() const { return out_; }

  private:
    void decodeGroup(const unsigned char* c) {
        const std::uint32_t d0 = table_[c[0]];
        const std::uint32_t d1 = table_[c[1]];
        const std::uint32_t d2 = table_[c[2]];
        const std::uint32_t d3 = table_[c[3]];
        bad_ |= d0 | d1 | d2 | d3;
        const std::uint32_t v = (d0 << 18) | (d1 << 12) | (d2 << 6) | d3;
        out_[0] = static_cast<unsigned char>(v >> 16);
        out_[1] = static_cast<unsigned char>(v >> 8);
        out_[2] = static_cast<unsigned char>(v);
        out_ += 3;
    }

    const unsigned char* table_;
    const WideTables* wide_;
    unsigned char* out_;
    unsigned char carry_[4] = {0, 0, 0, 0};
    std::size_t carryLength_ = 0;
    std::uint32_t bad_ = 0;
};

// The text as the decoder sees it: the data part up to the first padding string, and a small
// tail from there on, with every padding string already in its decoded one-character form.
struct SplitText {
    const char* head;
    std::size_t headLength;
    const char* tail;
    std::size_t tailLength;

    std::size_t size() const { return headLength + tailLength; }
    char at(std::size_t i) const { return i < headLength ? head[i] : tail[i - headLength]; }
};

// Same rules as Base64FamilyEncoder::getPaddingChars for a tail that starts at the first padding
// character: -1 when anything but padding and "\r\n" is in it.
long countTailPadding(const char* tail, std::size_t length, char pad) {
    long count = 0;
    for (std::size_t i = 0; i < length;) {
        if (tail[i] == pad) {
            ++count;
            ++i;
        } else if (tail[i] == '\r' && i + 1 < length && tail[i + 1] == '\n') {
            i += 2;
        } else {
            return -1;
        }
    }
    return count;
}

// Same rules as Base64FamilyEncoder::weakCheckNewLines, for padding one character wide.
// `firstInHead`: findLineBreak over the head.
bool linesAreRegular(const SplitText& text, std::size_t firstInHead, char pad) {
    std::size_t first = firstInHead;
    if (first == text.headLength) {
        // The tail starts with padding, so no line break straddles the two parts.
        first = text.headLength + findLineBreak(text.tail, text.tailLength, 0);
    }
    const std::size_t total = text.size();
    if (first >= total) {
        return true;
    }
    const std::size_t period = first + 2;
    for (std::size_t pos = first; pos < total; pos += period) {
        const char c = text.at(pos);
        const bool lineBreak = c == '\r' && pos + 1 < total && text.at(pos + 1) == '\n';
        if (!lineBreak && c != pad) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::size_t findLineBreak(const char* text, std::size_t length, std::size_t from) {
    while (from < length) {
        const char* hit = findCharacter(text + from, length - from, '\r');
        if (hit == nullptr) {
            return length;
        }
        const auto pos = static_cast<std::size_t>(hit - text);
        if (pos + 1 < length && text[pos + 1] == '\n') {
            return pos;
        }
        from = pos + 1;
    }
    return length;
}

std::size_t countLineBreaks(const char* text, std::size_t length) {
    std::size_t count = 0;
    for (std::size_t pos = findLineBreak(text, length, 0); pos < length;
         pos = findLineBreak(text, length, pos + 2)) {
        ++count;
    }
    return count;
}

std::string encodeBase64Family(const Encoding& encoding, const unsigned char* bytes,
                               std::size_t count, bool padding, bool lineBreaks) {
    if (bytes == nullptr || count == 0) {
        return std::string();
    }
    const char* table = encoding.getEncodingTable();
    const std::string& pad = encoding.getEncodedPaddingChars();
    const std::size_t fullGroups = count / 3;
    const std::size_t rest = count % 3;
    const std::size_t breaks = lineBreaks ? fullGroups / kGroupsPerLine : 0;
    const std::size_t padCount = (padding && rest != 0) ? 3 - rest : 0;
    const std::size_t length =
        fullGroups * 4 + (rest != 0 ? rest + 1 : 0) + breaks * 2 + padCount * pad.size();

    std::string text(length, '\0');
    char* out = &text[0];
    const unsigned char* in = bytes;
    const unsigned char* const end = bytes + count;
    std::size_t groupsLeft = fullGroups;
    std::unique_ptr<PairTable> pairTable;
    if (fullGroups >= kPairTableGroups) {
        pairTable = std::make_unique<PairTable>(table);
    }
    while (groupsLeft != 0) {
        const std::size_t line = lineBreaks ? std::min(groupsLeft, kGroupsPerLine) : groupsLeft;
        std::size_t i = 0;
        if (pairTable) {
            for (; i + 2 <= line && end - in >= 8; i += 2, in += 6, out += 8) {
                encodeTwoGroups(*pairTable, in, out);
            }
        }
        for (; i < line; ++i, in += 3, out += 4) {
            encodeFullGroup(table, in, out);
        }
        groupsLeft -= line;
        // A break follows every full line, the last one included; never the short group.
        if (lineBreaks && line == kGroupsPerLine) {
            *out++ = '\r';
            *out++ = '\n';
        }
    }
    if (rest != 0) {
        out += encodeShortGroup(table, in, rest, out);
        for (std::size_t i = 0; i < padCount; ++i, out += pad.size()) {
            std::memcpy(out, pad.data(), pad.size());
        }
    }
    return text;
}

int decodeBase64Family(const Encoding& encoding, const std::string& text, bool addMissingPadding,
                       std::vector<unsigned char>& bytes) {
    if (text.empty()) {
        return -1;
    }
    const std::string& decodedPadding = encoding.getDecodedPaddingChars();
    if (decodedPadding.size() != 1) {
        // Padding of any other width cannot be stripped from the decoded bytes.
        return -3;
    }
    const char pad = decodedPadding[0];
    const std::string& encodedPadding = encoding.getEncodedPaddingChars();
    const bool twoSpellings = encoding.isPaddingCharEncoded() && !encodedPadding.empty() &&
                              encodedPadding != decodedPadding;

    // Everything from the first padding string on (in either spelling) goes to the tail, where
    // only padding and line breaks may stand; encoded padding becomes decoded padding there.
    const char* raw = text.data();
    const std::size_t rawLength = text.size();
    std::size_t first = rawLength;
    if (const char* hit = findCharacter(raw, rawLength, pad)) {
        first = static_cast<std::size_t>(hit - raw);
    }
    if (twoSpellings) {
        first = std::min(first, std::min(text.find(encodedPadding), rawLength));
    }
    std::size_t missing = 0;
    if (addMissingPadding) {
        // Counted on the text as given, encoded padding included, as addMissingPaddingChars does.
        const std::size_t breaks = countLineBreaks(raw, rawLength);
        missing = (4 - (static_cast<std::uint32_t>(rawLength - 2 * breaks) & 3U)) & 3U;
    }
    SplitText split{raw, first, raw + first, rawLength - first};
    std::string tail;  // only when the tail has to be rewritten
    if ((twoSpellings && first < rawLength) || missing != 0) {
        for (std::size_t i = first; i < rawLength;) {
            if (twoSpellings && text.compare(i, encodedPadding.size(), encodedPadding) == 0) {
                tail += pad;
                i += encodedPadding.size();
            } else {
                tail += raw[i++];
            }
        }
        tail.append(missing, pad);
        split.tail = tail.data();
        split.tailLength = tail.size();
    }

    const long paddings = countTailPadding(split.tail, split.tailLength, pad);
    const std::size_t firstBreak = findLineBreak(split.head, split.headLength, 0);
    if (paddings < 0 || !linesAreRegular(split, firstBreak, pad)) {
        return -2;
    }

    const std::size_t oldSize = bytes.size();
    const std::size_t total = split.size();
    bytes.resize(oldSize + (total / 4) * 3 + 3);
    auto rollback = [&](int code) {
        bytes.resize(oldSize);
        return code;
    };

    std::unique_ptr<WideTables> wide;
    if (total >= kWideTableCharacters) {
        wide = std::make_unique<WideTables>(encoding.getDecodingTable());
    }

    // First attempt, for well-formed text: cut the data part at each "\r\n" and decode the pieces
    // directly. It counts the line breaks on the way, which the size checks below need.
    GroupDecoder direct(encoding.getDecodingTable(), bytes.data() + oldSize, wide.get());
    // A line as long as the first one, followed by "\r\n", is taken without searching it for a
    // break: a "\r" inside it is outside the alphabet and marks the decoder bad, or is still held
    // back for an unfinished group when the text ends, and then the breaks are counted again the
    // long way.
    std::size_t lineBreaks = 0;
    std::size_t from = 0;
    for (std::size_t pos = firstBreak;;) {
        direct.feed(split.head + from, pos - from);
        if (pos == split.headLength) {
            break;
        }
        ++lineBreaks;
        from = pos + 2;
        const std::size_t next = from + firstBreak;
        if (next + 1 < split.headLength && split.head[next] == '\r' &&
            split.head[next + 1] == '\n') {
            pos = next;
        } else {
            pos = findLineBreak(split.head, split.headLength, from);
        }
    }
    if (direct.bad() || direct.holds('\r')) {
        lineBreaks = countLineBreaks(split.head, split.headLength);
    }
    lineBreaks += countLineBreaks(split.tail, split.tailLength);

    const auto lastGroup =
        static_cast<std::uint32_t>(total - static_cast<std::size_t>(paddings) - 2 * lineBreaks) &
        3U;
    if (lastGroup == 1) {
        return rollback(-2);
    }
    const long needed = static_cast<long>((4 - lastGroup) & 3U);
    if (paddings < needed) {
        return rollback(-2);
    }
    // Surplus padding is dropped: only the first `needed` padding characters are decoded.
    const char kept[3] = {pad, pad, pad};
    direct.feed(kept, static_cast<std::size_t>(needed));

    unsigned char* end = nullptr;
    if (!direct.bad() && !direct.incomplete()) {
        end = direct.position();
    } else {
        // Stray "\r" or "\n" (or a real fault): redo it by the letter. Line breaks are erased
        // the way repeated erasure of the first "\r\n" would, which also removes the breaks that
        // an erasure brings together; this is a stack, so it takes one pass.
        std::string cleaned;
        cleaned.reserve(total);
        auto push = [&cleaned](char c) {
            if (c == '\n' && !cleaned.empty() && cleaned.back() == '\r') {
                cleaned.pop_back();
            } else {
                cleaned.push_back(c);
            }
        };
        for (std::size_t i = 0; i < split.headLength; ++i) {
            push(split.head[i]);
        }
        long keptPadding = 0;
        for (std::size_t i = 0; i < split.tailLength; ++i) {
            const char c = split.tail[i];
            if (c != pad) {
                push(c);
            } else if (keptPadding < needed) {
                ++keptPadding;
                push(c);
            }
        }
        GroupDecoder exact(encoding.getDecodingTable(), bytes.data() + oldSize, wide.get());
        exact.feed(cleaned.data(), cleaned.size());
        if (exact.bad()) {
            return rollback(-2);
        }
        if (exact.incomplete()) {
            return rollback(-3);
        }
        end = exact.position();
    }
    // The padding characters decoded as zero bytes at the end; they are not part of the data.
    const auto produced = static_cast<std::size_t>(end - (bytes.data() + oldSize));
    bytes.resize(oldSize + produced - static_cast<std::size_t>(needed));
    return 0;
}

}  // namespace zam::detail
