#include "support/mutator.h"

#include <iterator>
#include <random>
#include <utility>
#include <vector>

namespace tarnivox::test {
namespace {

std::vector<std::size_t> line_starts(const std::string& text) {
    std::vector<std::size_t> starts{0};
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == '\n') starts.push_back(i + 1);
    return starts;
}

std::size_t line_end(const std::string& text, std::size_t start) {
    const std::size_t e = text.find('\n', start);
    return e == std::string::npos ? text.size() : e;
}

}  // namespace

const char* damage_name(Damage kind) {
    static const char* const names[] = {"truncate",     "cut line", "wrong code", "non-numeric", "long line",
                                        "binary noise", "empty",    "doubled",    "deleted",     "wild number"};
    return names[static_cast<int>(kind)];
}

std::string damage(const std::string& text, Damage kind, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    auto pick = [&](std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(rng() % n); };
    if (text.empty() || kind == Damage::Empty) return "";
    const std::vector<std::size_t> starts = line_starts(text);
    const std::size_t at = starts[pick(starts.size())];
    const std::size_t end = line_end(text, at);
    std::string out = text;
    switch (kind) {
        case Damage::Truncate: out.resize(pick(text.size())); break;
        case Damage::CutLine: {
            // the part of the line before the cut, then the rest of the file
            const std::size_t cut = at + pick(end - at + 1);
            out = text.substr(0, cut) + text.substr(end);
        } break;
        case Damage::WrongCode: {
            static const std::string codes = "0123456789$*#RSZEPUCTH?x ";
            if (end > at) out[at] = codes[pick(codes.size())];
        } break;
        case Damage::NonNumeric: {
            std::vector<std::size_t> digits;
            for (std::size_t i = at; i < end; ++i)
                if (text[i] >= '0' && text[i] <= '9') digits.push_back(i);
            if (!digits.empty()) out[digits[pick(digits.size())]] = static_cast<char>('g' + pick(6));
        } break;
        case Damage::LongLine: {
            std::string big(10000, ' ');
            for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(' ' + pick(95));
            if (pick(2) == 0) big[0] = text[at];  // keep the record code of the line it replaces
            out = text.substr(0, at) + big + text.substr(end);
        } break;
        case Damage::BinaryNoise: {
            std::string noise(1 + pick(400), '\0');
            for (char& c : noise) c = static_cast<char>(pick(256));
            out.insert(at, noise);
        } break;
        case Damage::Doubled: out = text.substr(0, end) + "\n" + text.substr(at, end - at) + text.substr(end); break;
        case Damage::Deleted: out = text.substr(0, at) + text.substr(end < text.size() ? end + 1 : end); break;
        case Damage::WildNumber: {
            // a whole number of the line (digits, with a point or sign)
            std::vector<std::pair<std::size_t, std::size_t>> numbers;
            for (std::size_t i = at; i < end;) {
                if ((text[i] >= '0' && text[i] <= '9') && (i == at || text[i - 1] == ' ' || text[i - 1] == '-')) {
                    std::size_t j = i;
                    while (j < end && ((text[j] >= '0' && text[j] <= '9') || text[j] == '.')) ++j;
                    numbers.emplace_back(i, j);
                    i = j;
                } else {
                    ++i;
                }
            }
            if (numbers.empty()) break;
            static const char* const wild[] = {"1E20", "-12345", "1E309", "-1", "NaN", "inf", "99999999", "1.9E14"};
            const auto [from, to] = numbers[pick(numbers.size())];
            out = text.substr(0, from) + wild[pick(std::size(wild))] + text.substr(to);
        } break;
        default: break;
    }
    return out;
}

std::string damage(const std::string& text, std::uint64_t seed) {
    return damage(text, static_cast<Damage>(seed % static_cast<std::uint64_t>(Damage::Count)), seed);
}

}  // namespace tarnivox::test
