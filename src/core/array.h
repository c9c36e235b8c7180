#pragma once
// Fixed-size program arrays indexed from 1, as the program's formulas are
// written.  Every access is range-checked in every build: an index outside
// the declared bounds is a programming error and stops the run with a
// diagnostic instead of touching memory the array does not own.

#include <array>
#include <cstddef>
#include <span>

namespace tarnivox {

[[noreturn]] void index_out_of_range(const char* kind, long index, long lo, long hi);

template <class T, int N>
struct Arr1 {
    static_assert(N > 0);
    std::array<T, N> v{};

    T& operator()(int i) {
        if (i < 1 || i > N) index_out_of_range("index", i, 1, N);
        return v[static_cast<std::size_t>(i - 1)];
    }
    const T& operator()(int i) const {
        if (i < 1 || i > N) index_out_of_range("index", i, 1, N);
        return v[static_cast<std::size_t>(i - 1)];
    }
    static constexpr int size() { return N; }
    void fill(const T& x) { v.fill(x); }
    T* data() { return v.data(); }
    const T* data() const { return v.data(); }
    // The first n elements, for the record-layout module (n is checked).
    std::span<T> first(int n) {
        if (n < 0 || n > N) index_out_of_range("count", n, 0, N);
        return std::span<T>(v.data(), static_cast<std::size_t>(n));
    }
    std::span<const T> first(int n) const {
        if (n < 0 || n > N) index_out_of_range("count", n, 0, N);
        return std::span<const T>(v.data(), static_cast<std::size_t>(n));
    }
    std::span<T> all() { return std::span<T>(v.data(), N); }
    std::span<const T> all() const { return std::span<const T>(v.data(), N); }
    bool operator==(const Arr1&) const = default;
};

// Matrices and tables: element (i, j) is row i, column j.  Stored row by
// row so that a row of a table (one reflection of a list) is contiguous.
template <class T, int N, int M>
struct Arr2 {
    static_assert(N > 0 && M > 0);
    std::array<T, static_cast<std::size_t>(N) * M> v{};

    T& operator()(int i, int j) {
        check(i, j);
        return v[static_cast<std::size_t>(i - 1) * M + static_cast<std::size_t>(j - 1)];
    }
    const T& operator()(int i, int j) const {
        check(i, j);
        return v[static_cast<std::size_t>(i - 1) * M + static_cast<std::size_t>(j - 1)];
    }
    static constexpr int rows() { return N; }
    static constexpr int cols() { return M; }
    void fill(const T& x) { v.fill(x); }
    // Row i as a contiguous span of M elements.
    std::span<T> row(int i) {
        check(i, 1);
        return std::span<T>(v.data() + static_cast<std::size_t>(i - 1) * M, M);
    }
    std::span<const T> row(int i) const {
        check(i, 1);
        return std::span<const T>(v.data() + static_cast<std::size_t>(i - 1) * M, M);
    }
    bool operator==(const Arr2&) const = default;

private:
    static void check(int i, int j) {
        if (i < 1 || i > N) index_out_of_range("row", i, 1, N);
        if (j < 1 || j > M) index_out_of_range("column", j, 1, M);
    }
};

}  // namespace tarnivox
