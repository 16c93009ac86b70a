#pragma once
// Ranges and sets of seven-bit MIDI numbers (notes, controllers), usable in constant expressions.

#include <cstdint>
#include <initializer_list>

namespace corvane {

// lower...upper, both included.
struct MIDINumberRange {
    std::uint8_t lower;
    std::uint8_t upper;

    constexpr bool contains(unsigned number) const { return number >= lower && number <= upper; }
    constexpr int count() const { return upper - lower + 1; }
    bool operator==(const MIDINumberRange&) const = default;
};

// A set of numbers 0...127 as a 128-bit mask. Numbers of 128 or more are never members.
class MIDINumberSet {
public:
    constexpr MIDINumberSet() = default;
    constexpr MIDINumberSet(std::initializer_list<std::uint8_t> numbers) {
        for (auto n : numbers) insert(n);
    }

    constexpr void insert(unsigned number) {
        if (number < 128) words_[number / 64] |= std::uint64_t{1} << (number % 64);
    }
    constexpr void insert(MIDINumberRange range) {
        for (unsigned n = range.lower; n <= range.upper; ++n) insert(n);
    }
    constexpr bool contains(unsigned number) const {
        return number < 128 && (words_[number / 64] >> (number % 64) & 1) != 0;
    }
    constexpr int count() const {
        int total = 0;
        for (unsigned n = 0; n < 128; ++n) total += contains(n) ? 1 : 0;
        return total;
    }
    bool operator==(const MIDINumberSet&) const = default;

private:
    std::uint64_t words_[2] = {0, 0};
};

}  // namespace corvane
