#pragma once
// Fixed-width text fields of the store (TITLE 60, paths 255).  Assigning a
// longer text cuts it at the width; padded() gives the blank-padded form the
// program compares and writes in columns.

#include <string>
#include <string_view>

namespace tarnivox {

template <int W>
class FixedText {
public:
    FixedText() = default;
    FixedText(std::string_view s) { assign(s); }  // NOLINT: plain text converts
    FixedText& operator=(std::string_view s) {
        assign(s);
        return *this;
    }
    static constexpr int width() { return W; }
    // The text as stored, without trailing blanks.
    std::string_view str() const { return s_; }
    // The text blank-padded to the full width.
    std::string padded() const { return s_ + std::string(static_cast<std::size_t>(W) - s_.size(), ' '); }
    bool blank() const { return s_.empty(); }
    bool operator==(const FixedText&) const = default;
    bool operator==(std::string_view other) const {
        FixedText t(other);
        return t.s_ == s_;
    }

private:
    void assign(std::string_view s) {
        if (s.size() > static_cast<std::size_t>(W)) s = s.substr(0, W);
        while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
        s_.assign(s);
    }
    std::string s_;
};

}  // namespace tarnivox
