#include "io/layout.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>
#include <vector>

#include "core/internal_error.h"
#include "io/units.h"

namespace tarnivox {
namespace {

[[noreturn]] void layout_error(std::string_view layout, const char* what) {
    internal_error("record layout \"" + std::string(layout) + "\": " + what);
}

// ---------------------------------------------------------------- parsing

struct Node {
    enum Type { I, F, A, X, Lit, Slash, Colon, Group } type = Group;
    int rep = 1;
    int w = -1;  // width; -1 for A without width
    int d = -1;  // decimals of F, minimum digits of I (-1: none)
    std::string lit;
    std::vector<Node> kids;
};

class Parser {
public:
    explicit Parser(std::string_view s) : s_(s) {}

    Node parse() {
        skip_blanks();
        if (!eat('(')) layout_error(s_, "must start with '('");
        Node root = items();
        if (!eat(')')) layout_error(s_, "missing ')'");
        skip_blanks();
        if (p_ != s_.size()) layout_error(s_, "text after the closing ')'");
        return root;
    }

private:
    Node items() {
        Node g;
        g.type = Node::Group;
        for (;;) {
            skip_blanks();
            if (p_ >= s_.size()) layout_error(s_, "missing ')'");
            const char c = s_[p_];
            if (c == ')') return g;
            if (c == ',') {
                ++p_;
                continue;
            }
            g.kids.push_back(item());
        }
    }

    Node item() {
        Node n;
        int rep = -1;
        if (std::isdigit(static_cast<unsigned char>(s_[p_]))) rep = number();
        const int count = rep < 0 ? 1 : rep;  // no repeat count: once
        skip_blanks();
        if (p_ >= s_.size()) layout_error(s_, "descriptor missing");
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(s_[p_])));
        if (c == '(') {
            ++p_;
            n = items();
            if (!eat(')')) layout_error(s_, "missing ')'");
            n.rep = count;
            return n;
        }
        ++p_;
        switch (c) {
            case '\'':
            case '"':
                n.type = Node::Lit;
                n.lit = literal(c);
                n.rep = count;
                return n;
            case '/':
                n.type = Node::Slash;
                n.rep = count;
                return n;
            case ':':
                n.type = Node::Colon;
                return n;
            case 'X':
                n.type = Node::X;
                n.w = count;
                return n;
            case 'I':
                n.type = Node::I;
                n.w = required_number();
                if (eat('.')) n.d = required_number();
                break;
            case 'F':
                n.type = Node::F;
                n.w = required_number();
                if (!eat('.')) layout_error(s_, "F needs w.d");
                n.d = required_number();
                break;
            case 'A':
                n.type = Node::A;
                skip_blanks();
                if (p_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[p_]))) n.w = number();
                break;
            default:
                layout_error(s_, "unknown descriptor");
        }
        n.rep = count;
        if (n.w == 0 && n.type != Node::A) layout_error(s_, "zero width");
        return n;
    }

    std::string literal(char quote) {
        std::string t;
        for (;;) {
            if (p_ >= s_.size()) layout_error(s_, "unterminated text");
            const char c = s_[p_++];
            if (c == quote) {
                if (p_ < s_.size() && s_[p_] == quote) {
                    t.push_back(quote);
                    ++p_;
                    continue;
                }
                return t;
            }
            t.push_back(c);
        }
    }

    int number() {
        skip_blanks();
        int v = 0;
        bool any = false;
        while (p_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[p_]))) {
            v = v * 10 + (s_[p_++] - '0');
            any = true;
            if (v > 100000) layout_error(s_, "number too large");
        }
        if (!any) layout_error(s_, "number expected");
        return v;
    }
    int required_number() { return number(); }

    bool eat(char c) {
        skip_blanks();
        if (p_ < s_.size() && s_[p_] == c) {
            ++p_;
            return true;
        }
        return false;
    }
    void skip_blanks() {
        while (p_ < s_.size() && s_[p_] == ' ') ++p_;
    }

    std::string_view s_;
    std::size_t p_ = 0;
};

const Node& parsed(std::string_view layout) {
    static std::unordered_map<std::string, Node> cache;
    auto it = cache.find(std::string(layout));
    if (it != cache.end()) return it->second;
    return cache.emplace(std::string(layout), Parser(layout).parse()).first->second;
}

// The index of the group the layout is re-used from when items remain.
std::size_t reversion_point(const Node& root) {
    for (std::size_t i = root.kids.size(); i-- > 0;)
        if (root.kids[i].type == Node::Group) return i;
    return 0;
}

bool has_data(const Node& n) {
    if (n.type == Node::I || n.type == Node::F || n.type == Node::A) return true;
    for (const Node& k : n.kids)
        if (has_data(k)) return true;
    return false;
}

// The walk of a parsed layout that writing and reading share: groups and
// their repeats, the colon that ends the record when the items are used
// up, and the re-use of the last group for the items that remain, each
// time in a new record.  The Writer and the Reader say what a literal, a
// slash, a skip and a data descriptor mean for them; a hook returning
// false stops the walk.
template <class Walker>
class LayoutWalk {
protected:
    // false: the walk stopped before the items were used up.
    bool walk_layout(const Node& root) {
        if (!walk_kids(root, 0)) return false;
        if (!has_data(root)) return true;
        const std::size_t rp = reversion_point(root);
        while (self().items_left()) {
            if (!self().next_record()) return false;
            if (!walk_kids(root, rp)) return false;
        }
        return true;
    }

private:
    Walker& self() { return static_cast<Walker&>(*this); }

    bool walk_kids(const Node& g, std::size_t from) {
        for (std::size_t k = from; k < g.kids.size(); ++k)
            if (!walk(g.kids[k])) return false;
        return true;
    }

    bool walk(const Node& n) {
        for (int r = 0; r < n.rep; ++r) {
            switch (n.type) {
                case Node::Group:
                    if (!walk_kids(n, 0)) return false;
                    break;
                case Node::Lit: self().literal(n); break;
                case Node::Slash:
                    if (!self().slash()) return false;
                    break;
                case Node::Colon:
                    if (!self().items_left()) return false;
                    break;
                case Node::X: self().skip(n); return true;
                case Node::I:
                case Node::F:
                case Node::A:
                    if (!self().items_left()) return false;
                    if (!self().data(n)) return false;
                    break;
            }
        }
        return true;
    }
};

// ---------------------------------------------------------------- output

struct Scalar {
    OutItem::Kind kind;
    long long i = 0;
    double r = 0.0;
    std::string_view s;
};

class Writer : public LayoutWalk<Writer> {
public:
    Writer(std::string_view layout, std::initializer_list<OutItem> items, bool fit = false)
        : layout_(layout), fit_(fit) {
        for (const OutItem& it : items) {
            switch (it.kind()) {
                case OutItem::Kind::Ints:
                    for (int v : it.ints()) vals_.push_back({OutItem::Kind::Int, v, 0.0, {}});
                    break;
                case OutItem::Kind::Reals:
                    for (double v : it.reals()) vals_.push_back({OutItem::Kind::Real, 0, v, {}});
                    break;
                default:
                    vals_.push_back({it.kind(), it.as_int(), it.as_real(), it.as_text()});
            }
        }
    }

    std::string run() {
        walk_layout(parsed(layout_));
        return refused_ ? std::string() : out_;
    }

private:
    friend class LayoutWalk<Writer>;

    bool items_left() const { return pos_ < vals_.size(); }
    bool next_record() {
        out_.push_back('\n');
        return true;
    }
    void literal(const Node& n) { out_ += n.lit; }
    bool slash() { return next_record(); }
    void skip(const Node& n) { out_.append(static_cast<std::size_t>(n.w), ' '); }
    bool data(const Node& n) {
        field(n, vals_[pos_++]);
        return true;
    }

    void field(const Node& n, const Scalar& v) {
        if (n.type == Node::I) {
            if (v.kind != OutItem::Kind::Int) layout_error(layout_, "I given a value that is not an integer");
            out_ += fit_ ? format_int_fit(v.i, n.w, n.d) : format_int(v.i, n.w, n.d);
        } else if (n.type == Node::F) {
            double x = v.r;
            if (v.kind == OutItem::Kind::Int)
                x = static_cast<double>(v.i);
            else if (v.kind != OutItem::Kind::Real)
                layout_error(layout_, "F given text");
            if (!fit_) {
                out_ += format_fixed(x, n.w, n.d);
                return;
            }
            const std::string f = format_fixed_fit(x, n.w, n.d);
            if (f.empty()) refused_ = true;
            out_ += f;
        } else {
            if (v.kind != OutItem::Kind::Text) layout_error(layout_, "A given a number");
            std::string_view t = v.s;
            if (n.w < 0) {
                out_ += t;
            } else {
                const auto w = static_cast<std::size_t>(n.w);
                if (t.size() >= w) {
                    out_ += t.substr(0, w);
                } else {
                    out_ += t;
                    out_.append(w - t.size(), ' ');
                }
            }
        }
    }

    std::string_view layout_;
    bool fit_ = false;
    bool refused_ = false;  // a value no form of its field holds
    std::vector<Scalar> vals_;
    std::size_t pos_ = 0;
    std::string out_;
};

// ---------------------------------------------------------------- input

std::string without_blanks(std::string_view f) {
    std::string s;
    for (char c : f)
        if (c != ' ' && c != '\t') s.push_back(c);
    return s;
}

bool parse_int_text(const std::string& s, long long& out) {
    if (s.empty()) {
        out = 0;
        return true;
    }
    std::size_t p = 0;
    bool neg = false;
    if (s[p] == '+' || s[p] == '-') neg = s[p++] == '-';
    if (p == s.size()) return false;
    long long v = 0;
    for (; p < s.size(); ++p) {
        if (!std::isdigit(static_cast<unsigned char>(s[p]))) return false;
        v = v * 10 + (s[p] - '0');
        if (v > 2147483647LL) return false;
    }
    out = neg ? -v : v;
    return true;
}

// A real in Fortran input form: sign, digits, optional point, optional
// exponent (E or D, with or without its letter after the mantissa).  With
// implied >= 0 and no point, the last `implied` digits are decimals.
bool parse_real_text(const std::string& s, int implied, double& out) {
    if (s.empty()) {
        out = 0.0;
        return true;
    }
    std::size_t p = 0;
    std::string norm;
    if (s[p] == '+' || s[p] == '-') {
        if (s[p] == '-') norm.push_back('-');
        ++p;
    }
    std::string ip, fp;
    bool point = false;
    for (; p < s.size(); ++p) {
        const char c = s[p];
        if (std::isdigit(static_cast<unsigned char>(c))) {
            (point ? fp : ip).push_back(c);
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (ip.empty() && fp.empty()) return false;
    std::string ex;
    if (p < s.size()) {
        char c = static_cast<char>(std::toupper(static_cast<unsigned char>(s[p])));
        if (c == 'E' || c == 'D' || c == 'Q') ++p;
        else if (c != '+' && c != '-') return false;
        if (p < s.size() && (s[p] == '+' || s[p] == '-')) ex.push_back(s[p++]);
        std::size_t nd = 0;
        for (; p < s.size(); ++p, ++nd) {
            if (!std::isdigit(static_cast<unsigned char>(s[p]))) return false;
            ex.push_back(s[p]);
        }
        if (nd == 0) return false;
    }
    if (!point && implied > 0) {
        while (ip.size() < static_cast<std::size_t>(implied)) ip.insert(ip.begin(), '0');
        const std::size_t cut = ip.size() - static_cast<std::size_t>(implied);
        fp.assign(ip, cut, std::string::npos);
        ip.resize(cut);
    }
    norm += ip.empty() ? "0" : ip;
    norm += '.';
    norm += fp.empty() ? "0" : fp;
    if (!ex.empty()) {
        norm += 'e';
        norm += ex;
    }
    char* end = nullptr;
    const double v = std::strtod(norm.c_str(), &end);
    if (end == nullptr || *end != '\0' || !std::isfinite(v)) return false;
    out = v;
    return true;
}

struct Target {
    InItem::Kind kind;
    int* i = nullptr;
    double* r = nullptr;
    std::string* s = nullptr;
    char* c = nullptr;
};

std::vector<Target> flatten(std::initializer_list<InItem> items) {
    std::vector<Target> t;
    for (const InItem& it : items) {
        switch (it.kind()) {
            case InItem::Kind::Ints:
                for (int& v : it.ints()) t.push_back({InItem::Kind::Int, &v});
                break;
            case InItem::Kind::Reals:
                for (double& v : it.reals()) t.push_back({InItem::Kind::Real, nullptr, &v});
                break;
            default:
                t.push_back({it.kind(), it.int_ptr(), it.real_ptr(), it.text_ptr(), it.char_ptr()});
        }
    }
    return t;
}

// Source of records for fixed-column reading: one given line, or a unit.
class RecordSource {
public:
    explicit RecordSource(std::string_view line) : single_(true), line_(line) {}
    explicit RecordSource(int lu) : lu_(lu) {}
    int first() {
        if (single_) return READ_OK;
        return read_line(lu_, buf_) == READ_OK ? (line_ = buf_, READ_OK) : READ_EOF;
    }
    int next() {
        if (single_) {
            line_ = {};
            return READ_OK;
        }
        const int st = read_line(lu_, buf_);
        line_ = buf_;
        return st;
    }
    std::string_view line() const { return line_; }

private:
    bool single_ = false;
    int lu_ = 0;
    std::string buf_;
    std::string_view line_;
};

class Reader : public LayoutWalk<Reader> {
public:
    Reader(std::string_view layout, RecordSource& src, std::initializer_list<InItem> items)
        : layout_(layout), src_(src), targets_(flatten(items)) {}

    int run() {
        status_ = src_.first();
        if (status_ != READ_OK) return status_;
        return walk_layout(parsed(layout_)) ? READ_OK : status_;
    }

private:
    friend class LayoutWalk<Reader>;

    bool items_left() const { return pos_ < targets_.size(); }
    // The next record of the source, read from its first column.
    bool next_record() {
        status_ = src_.next();
        col_ = 0;
        return status_ == READ_OK;
    }
    void literal(const Node& n) { col_ += n.lit.size(); }
    bool slash() { return items_left() && next_record(); }
    void skip(const Node& n) { col_ += static_cast<std::size_t>(n.w); }
    // false: the field does not hold what its target takes.
    bool data(const Node& n) {
        if (field(n, targets_[pos_++])) return true;
        status_ = READ_ERROR;
        return false;
    }

    std::string_view take(std::size_t w) {
        const std::string_view line = src_.line();
        std::string_view f;
        if (col_ < line.size()) f = line.substr(col_, w);
        col_ += w;
        return f;
    }

    bool field(const Node& n, const Target& t) {
        if (n.type == Node::A) {
            std::string_view f = n.w < 0 ? take(std::string_view::npos) : take(static_cast<std::size_t>(n.w));
            if (n.w < 0) col_ = src_.line().size();
            if (t.kind == InItem::Kind::Text) {
                *t.s = std::string(f);
                if (n.w > 0) t.s->resize(static_cast<std::size_t>(n.w), ' ');
                return true;
            }
            if (t.kind == InItem::Kind::Char) {
                *t.c = f.empty() ? ' ' : f.back();
                if (n.w > 0 && f.size() < static_cast<std::size_t>(n.w)) *t.c = ' ';
                if (n.w == 1 || n.w < 0) *t.c = f.empty() ? ' ' : f.front();
                return true;
            }
            layout_error(layout_, "A given a numeric target");
        }
        const std::string s = without_blanks(take(static_cast<std::size_t>(n.w)));
        if (n.type == Node::I) {
            long long v = 0;
            if (!parse_int_text(s, v)) return false;
            // Whole-number counts are read with I into real arrays.
            if (t.kind == InItem::Kind::Real)
                *t.r = static_cast<double>(v);
            else if (t.kind == InItem::Kind::Int)
                *t.i = static_cast<int>(v);
            else
                layout_error(layout_, "I given a text target");
            return true;
        }
        double v = 0.0;
        if (!parse_real_text(s, n.d, v)) return false;
        if (t.kind == InItem::Kind::Real) {
            *t.r = v;
        } else if (t.kind == InItem::Kind::Int) {
            if (!(std::fabs(v) < 2147483647.0)) return false;
            *t.i = static_cast<int>(v);
        } else {
            layout_error(layout_, "F given a text target");
        }
        return true;
    }

    std::string_view layout_;
    RecordSource& src_;
    std::vector<Target> targets_;
    std::size_t pos_ = 0;
    std::size_t col_ = 0;
    int status_ = READ_OK;
};

}  // namespace

std::string format_int(long long v, int w, int m) {
    const auto W = static_cast<std::size_t>(w);
    std::string digits = v == 0 ? (m == 0 ? "" : "0") : std::to_string(v < 0 ? -v : v);
    if (m > 0 && digits.size() < static_cast<std::size_t>(m))
        digits.insert(0, static_cast<std::size_t>(m) - digits.size(), '0');
    if (v < 0) digits.insert(digits.begin(), '-');
    if (digits.size() > W) return std::string(W, '*');
    return std::string(W - digits.size(), ' ') + digits;
}

std::string format_fixed_whole(double v, int w, int d) {
    if (!std::isfinite(v) || std::fabs(v) >= 1e30) return {};
    // At most 30 integer digits, a sign, the point and d decimals.
    for (int width = std::max(w, 1); width <= d + 32; ++width) {
        std::string s = format_fixed(v, width, d);
        if (s.find('*') == std::string::npos) return s;
    }
    return {};
}

std::string format_fixed(double v, int w, int d) {
    const auto W = static_cast<std::size_t>(w);
    if (!std::isfinite(v) || std::fabs(v) >= 1e30) return std::string(W, '*');
    // Exact decimal expansion well past d, then rounding half away from zero.
    char buf[128];
    std::snprintf(buf, sizeof buf, "%.*f", d + 20, std::fabs(v));
    std::string s(buf);
    const std::size_t point = s.find('.');
    std::string ip = s.substr(0, point);
    std::string fp = s.substr(point + 1, static_cast<std::size_t>(d));
    const bool up = s[point + 1 + static_cast<std::size_t>(d)] >= '5';
    if (up) {
        std::string all = ip + fp;
        int i = static_cast<int>(all.size()) - 1;
        while (i >= 0 && all[static_cast<std::size_t>(i)] == '9') all[static_cast<std::size_t>(i--)] = '0';
        if (i < 0)
            all.insert(all.begin(), '1');
        else
            ++all[static_cast<std::size_t>(i)];
        ip = all.substr(0, all.size() - fp.size());
        fp = all.substr(all.size() - fp.size());
    }
    const bool neg = v < 0.0;
    std::string body = ip + "." + fp;
    if (neg) body.insert(body.begin(), '-');
    if (body.size() <= W) return std::string(W - body.size(), ' ') + body;
    if (ip == "0" && body.size() - 1 <= W && (d > 0 || W >= 2)) {
        // Magnitude below 1: the leading zero is optional and goes first.
        body.erase(body.find('0'), 1);
        return std::string(W - body.size(), ' ') + body;
    }
    return std::string(W, '*');
}

namespace {

// Writes the decimal digits of v (at least one) ending at end; returns
// where they start.
char* put_digits(char* end, unsigned long long v) {
    do {
        *--end = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    return end;
}

// Right-aligns body in w columns, or writes w asterisks when it is wider.
void append_right(std::string& out, std::string_view body, std::size_t w) {
    if (body.size() > w) {
        out.append(w, '*');
        return;
    }
    out.append(w - body.size(), ' ');
    out.append(body);
}

constexpr unsigned long long kPow10[] = {1ULL,      10ULL,      100ULL,      1000ULL,      10000ULL,
                                         100000ULL, 1000000ULL, 10000000ULL, 100000000ULL, 1000000000ULL};
// The exact rounding below covers magnitudes under this with up to
// kFastDecimals decimals; its halfway cases are the exact ones there, as
// the exact expansion of format_fixed decides them.
constexpr double kFastLimit = 1.0e9;
constexpr int kFastDecimals = 5;
__extension__ typedef unsigned __int128 Wide;  // m * 10^d of a double below kFastLimit

}  // namespace

void append_int(std::string& out, long long v, int w) {
    char buf[24];
    char* const end = buf + sizeof buf;
    const unsigned long long mag =
        v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
    char* p = put_digits(end, mag);
    if (v < 0) *--p = '-';
    append_right(out, std::string_view(p, static_cast<std::size_t>(end - p)), static_cast<std::size_t>(w));
}

void append_fixed(std::string& out, double v, int w, int d) {
    const double a = std::fabs(v);
    if (d < 0 || d > kFastDecimals || !(a < kFastLimit)) {
        out += format_fixed(v, w, d);
        return;
    }
    // a = m * 2^-sh exactly; q = a * 10^d rounded half away from zero, in
    // integers, so that no rounding of a product decides a halfway case.
    unsigned long long q = 0;
    if (a > 0.0) {
        int e = 0;
        const double fr = std::frexp(a, &e);
        const auto m = static_cast<unsigned long long>(std::ldexp(fr, 53));
        const int sh = 53 - e;  // > 0, as a < 2^30
        if (sh < 120) {
            const Wide n = static_cast<Wide>(m) * kPow10[d];
            const Wide half = static_cast<Wide>(1) << (sh - 1);
            q = static_cast<unsigned long long>((n + half) >> sh);
        }
    }
    char buf[48];
    char* const end = buf + sizeof buf;
    char* p = end;
    const unsigned long long ip = q / kPow10[d];
    unsigned long long fp = q % kPow10[d];
    for (int k = 0; k < d; ++k) {
        *--p = static_cast<char>('0' + fp % 10);
        fp /= 10;
    }
    *--p = '.';
    p = put_digits(p, ip);
    if (v < 0.0) *--p = '-';
    std::string_view body(p, static_cast<std::size_t>(end - p));
    const auto W = static_cast<std::size_t>(w);
    if (body.size() > W && ip == 0 && body.size() - 1 <= W && (d > 0 || W >= 2)) {
        // Magnitude below 1: the leading zero is optional and goes first.
        out.append(W - (body.size() - 1), ' ');
        if (v < 0.0) out.push_back('-');
        out.append(body.substr(v < 0.0 ? 2 : 1));
        return;
    }
    append_right(out, body, W);
}

bool read_int_field(std::string_view f, int& v) {
    std::size_t p = 0;
    while (p < f.size() && f[p] == ' ') ++p;
    bool neg = false, sign = false;
    if (p < f.size() && (f[p] == '-' || f[p] == '+')) {
        sign = true;
        neg = f[p++] == '-';
    }
    const std::size_t first = p;
    long long x = 0;
    for (; p < f.size() && f[p] >= '0' && f[p] <= '9'; ++p) {
        x = x * 10 + (f[p] - '0');
        if (x > 2147483647LL) return false;
    }
    const bool digits = p > first;
    while (p < f.size() && f[p] == ' ') ++p;
    if (p != f.size()) return false;
    if (!digits) {
        if (sign) return false;  // a sign alone is no number
        v = 0;                   // a blank field
        return true;
    }
    v = static_cast<int>(neg ? -x : x);
    return true;
}

bool read_fixed_field(std::string_view f, double& v) {
    std::size_t p = 0;
    while (p < f.size() && f[p] == ' ') ++p;
    if (p == f.size()) {
        v = 0.0;  // a blank field
        return true;
    }
    bool neg = false;
    if (f[p] == '-' || f[p] == '+') neg = f[p++] == '-';
    unsigned long long mant = 0;
    int ndig = 0, decimals = 0;
    bool point = false;
    for (; p < f.size(); ++p) {
        const char c = f[p];
        if (c >= '0' && c <= '9') {
            if (++ndig > 15) return false;  // beyond exact integers of a double
            mant = mant * 10 + static_cast<unsigned long long>(c - '0');
            if (point) ++decimals;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    while (p < f.size() && f[p] == ' ') ++p;
    // Without a point the layout's implied decimals apply; read_fixed has them.
    if (p != f.size() || !point || ndig == 0 || decimals > 9) return false;
    // An exact integer over an exact power of ten: the quotient is the
    // decimal correctly rounded, as strtod gives it.
    const double x = static_cast<double>(mant) / static_cast<double>(kPow10[decimals]);
    v = neg ? -x : x;
    return true;
}

std::string format_record(std::string_view layout, std::initializer_list<OutItem> items) {
    return Writer(layout, items).run();
}

std::string format_record_fit(std::string_view layout, std::initializer_list<OutItem> items) {
    return Writer(layout, items, true).run();
}

std::string format_int_fit(long long v, int w, int m) {
    const std::string s = format_int(v, w, m);
    if (s.find('*') == std::string::npos) return s;
    // Wider: the columns the digits (and sign) need.
    const int need = std::max(static_cast<int>(std::to_string(v).size()), m + (v < 0 ? 1 : 0));
    return format_int(v, need, m);
}

std::string format_fixed_fit(double v, int w, int d) {
    if (!std::isfinite(v)) {
        const std::string t = std::isnan(v) ? "NaN" : (v > 0.0 ? "Inf" : "-Inf");
        return std::string(static_cast<std::size_t>(std::max(w - static_cast<int>(t.size()), 0)), ' ') + t;
    }
    // Fewer decimals in the same columns, down to the whole number with its
    // point (1234567.): the point overrides the field's implied decimals.
    if (std::fabs(v) < 1e30)
        for (int k = d; k >= 0; --k) {
            const std::string s = format_fixed(v, w, k);
            if (s.find('*') == std::string::npos) return s;
        }
    // Without its point only in a field of no decimals, which reads the
    // whole number the same; with decimals it would read 10^d too small.
    if (d == 0 && std::fabs(v) < 1e30) {
        const std::string whole = format_fixed(v, w + 1, 0);
        if (whole.find('*') == std::string::npos) return whole.substr(0, whole.size() - 1);
    }
    // Exponent form with at least two significant digits (1.2E+07), which
    // a fixed-column field reads too.
    for (int k = w - 6; k >= 1; --k) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.*E", k, v);
        const std::string t(buf);
        if (static_cast<int>(t.size()) <= w) return std::string(static_cast<std::size_t>(w) - t.size(), ' ') + t;
    }
    return {};
}

int write_record_fit(int lu, std::string_view layout, std::initializer_list<OutItem> items) {
    const std::string text = format_record_fit(layout, items);
    return text.empty() ? 1 : write_lines(lu, text);
}

int write_record(int lu, std::string_view layout, std::initializer_list<OutItem> items) {
    // The records of one layout are stored together or not at all.
    return write_lines(lu, format_record(layout, items));
}

int read_fixed(std::string_view line, std::string_view layout, std::initializer_list<InItem> items) {
    RecordSource src(line);
    return Reader(layout, src, items).run();
}

int read_record(int lu, std::string_view layout, std::initializer_list<InItem> items) {
    RecordSource src(lu);
    return Reader(layout, src, items).run();
}

// ---------------------------------------------------------------- free format

namespace {

struct Token {
    bool null = false;
    std::string text;
};

// Splits one record into list-directed values; stops at '/'.
bool split_values(std::string_view s, std::vector<Token>& out) {
    std::size_t p = 0;
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    bool expect_value = true;  // at the start and after a comma
    while (p < s.size()) {
        while (p < s.size() && blank(s[p])) ++p;
        if (p >= s.size()) break;
        const char c = s[p];
        if (c == '/') return true;
        if (c == ',') {
            if (expect_value) out.push_back({true, {}});
            expect_value = true;
            ++p;
            continue;
        }
        Token t;
        if (c == '\'' || c == '"') {
            ++p;
            for (;;) {
                if (p >= s.size()) return false;
                if (s[p] == c) {
                    if (p + 1 < s.size() && s[p + 1] == c) {
                        t.text.push_back(c);
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                t.text.push_back(s[p++]);
            }
        } else {
            while (p < s.size() && !blank(s[p]) && s[p] != ',' && s[p] != '/') t.text.push_back(s[p++]);
        }
        // r*value and r* (r nulls)
        const std::size_t star = t.text.find('*');
        if (c != '\'' && c != '"' && star != std::string::npos && star > 0) {
            long long r = 0;
            if (parse_int_text(t.text.substr(0, star), r) && r > 0 && r <= 100000) {
                const std::string v = t.text.substr(star + 1);
                for (long long k = 0; k < r; ++k) out.push_back({v.empty(), v});
            } else {
                out.push_back(t);
            }
        } else {
            out.push_back(t);
        }
        while (p < s.size() && blank(s[p])) ++p;
        expect_value = p < s.size() && s[p] == ',';
        if (expect_value) ++p;
    }
    return true;
}

}  // namespace

int read_free(std::string_view text, std::initializer_list<InItem> items, int* nread) {
    std::vector<Target> targets = flatten(items);
    std::vector<Token> tokens;
    if (nread) *nread = 0;
    if (!split_values(text, tokens)) return READ_ERROR;
    const std::size_t n = std::min(tokens.size(), targets.size());
    for (std::size_t k = 0; k < n; ++k) {
        const Token& tok = tokens[k];
        const Target& t = targets[k];
        if (!tok.null) {
            switch (t.kind) {
                case InItem::Kind::Int: {
                    long long v = 0;
                    if (tok.text.empty() || !parse_int_text(tok.text, v)) return READ_ERROR;
                    *t.i = static_cast<int>(v);
                    break;
                }
                case InItem::Kind::Real: {
                    double v = 0.0;
                    if (tok.text.empty() || !parse_real_text(tok.text, -1, v)) return READ_ERROR;
                    *t.r = v;
                    break;
                }
                case InItem::Kind::Text:
                    *t.s = tok.text;
                    break;
                case InItem::Kind::Char:
                    *t.c = tok.text.empty() ? ' ' : tok.text.front();
                    break;
                default:
                    break;
            }
        }
        if (nread) ++*nread;
    }
    return READ_OK;
}

}  // namespace tarnivox
