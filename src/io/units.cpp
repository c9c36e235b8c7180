#include "io/units.h"

#include <stdio_ext.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/internal_error.h"

namespace tarnivox {
namespace {

enum class LastOp { None, Read, Write };

struct Unit {
    std::FILE* f = nullptr;
    std::string path;
    bool cc = false;       // first-character carriage control
    bool at_eof = false;   // the last read met the end of file
    bool writable = false;
    bool at_end = false;   // the position is known to be the end of the file
    LastOp last = LastOp::None;
};

constexpr int kUnits[] = {LU_INPUT, LU_OUTPUT, LU_PARAM, LU_LOG, LU_SCAN, LU_EXP, LU_EXPORT, LU_CIF};
constexpr std::size_t kNumUnits = sizeof(kUnits) / sizeof(kUnits[0]);
Unit table[kNumUnits];
long size_limit[kNumUnits] = {-1, -1, -1, -1, -1, -1, -1, -1};
WriteErrorHandler on_write_error = nullptr;

std::size_t slot(int lu) {
    for (std::size_t i = 0; i < kNumUnits; ++i)
        if (kUnits[i] == lu) return i;
    internal_error("unit " + std::to_string(lu) + " is not one of the program's units");
}

Unit& unit(int lu) { return table[slot(lu)]; }

bool exists(std::string_view path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::path(path), ec);
}

// Between reading and writing a stdio stream must be repositioned.
void switch_to(Unit& u, LastOp op) {
    if (u.last != LastOp::None && u.last != op) std::fseek(u.f, 0, SEEK_CUR);
    u.last = op;
}

// Appended records start on a line of their own: a file whose last line
// has no end of line (written by an editor, or cut short) would otherwise
// have the first new record glued onto it.
void start_on_new_line(std::FILE* f) {
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    if (size <= 0) return;
    std::fseek(f, size - 1, SEEK_SET);
    const int last = std::getc(f);
    std::fseek(f, 0, SEEK_END);
    if (last != '\n') std::fputc('\n', f);
}

std::string last_open_failure;

}  // namespace

std::string open_failure_reason() { return last_open_failure; }

int open_unit(int lu, std::string_view path, OpenMode mode, bool carriage_control) {
    Unit& u = unit(lu);
    close_unit(lu);
    std::string p(path);
    std::FILE* f = nullptr;
    switch (mode) {
        case OpenMode::Read:
            f = std::fopen(p.c_str(), "rb");
            break;
        case OpenMode::Old:
            f = std::fopen(p.c_str(), "r+b");
            break;
        case OpenMode::New:
            if (!exists(p)) f = std::fopen(p.c_str(), "w+b");
            break;
        case OpenMode::Replace:
            f = std::fopen(p.c_str(), "w+b");
            break;
        case OpenMode::Append:
            f = std::fopen(p.c_str(), exists(p) ? "r+b" : "w+b");
            if (f) start_on_new_line(f);
            break;
        case OpenMode::Scratch:
            f = std::tmpfile();
            p.clear();
            break;
    }
    if (!f) {
        const int err = errno;
        last_open_failure = mode == OpenMode::New && exists(p) ? "the file already exists" : std::strerror(err);
        return 1;
    }
    // A directory opens under stdio on some systems; it is no file.
    if (mode != OpenMode::Scratch) {
        std::error_code ec;
        if (std::filesystem::is_directory(std::filesystem::path(p), ec)) {
            std::fclose(f);
            last_open_failure = std::strerror(EISDIR);
            return 1;
        }
    }
    last_open_failure.clear();
    u.f = f;
    u.path = p;
    u.cc = carriage_control;
    u.at_eof = false;
    u.writable = mode != OpenMode::Read;
    u.at_end = mode == OpenMode::New || mode == OpenMode::Replace || mode == OpenMode::Append ||
               mode == OpenMode::Scratch;
    u.last = LastOp::None;
    return 0;
}

void close_unit(int lu) {
    Unit& u = unit(lu);
    if (u.f) std::fclose(u.f);  // a tmpfile() scratch file is deleted here
    u = Unit{};
}

bool unit_is_open(int lu) { return unit(lu).f != nullptr; }

std::string unit_path(int lu) { return unit(lu).path; }

void close_all_units() {
    for (int lu : kUnits) close_unit(lu);
}

namespace {
// An internal error anywhere flushes and closes the program's files first.
[[maybe_unused]] const bool cleanup_registered = (set_internal_error_cleanup(&close_all_units), true);
}  // namespace

int read_line(int lu, std::string& line) {
    Unit& u = unit(lu);
    line.clear();
    if (!u.f) return READ_ERROR;
    switch_to(u, LastOp::Read);
    int c = std::getc(u.f);
    if (c == EOF) {
        u.at_eof = true;
        u.at_end = true;
        return READ_EOF;
    }
    while (c != EOF && c != '\n') {
        // No file of the program has records of this length: a file
        // without line ends (a device, a binary file) is refused rather
        // than read without bound.
        if (line.size() >= MAX_RECORD_LENGTH) {
            line.clear();
            return READ_ERROR;
        }
        line.push_back(static_cast<char>(c));
        c = std::getc(u.f);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    u.at_eof = false;
    u.at_end = false;
    return READ_OK;
}

void rewind_unit(int lu) {
    Unit& u = unit(lu);
    if (!u.f) return;
    std::fflush(u.f);
    std::rewind(u.f);
    u.at_eof = false;
    u.at_end = false;
    u.last = LastOp::None;
}

void backspace_unit(int lu) {
    Unit& u = unit(lu);
    if (!u.f) return;
    std::fflush(u.f);
    u.last = LastOp::None;
    u.at_end = false;
    if (u.at_eof) {  // step back over the end of file only
        u.at_eof = false;
        std::fseek(u.f, 0, SEEK_END);
        return;
    }
    long q = std::ftell(u.f);
    if (q <= 0) return;
    auto byte_before = [&](long pos) {
        std::fseek(u.f, pos - 1, SEEK_SET);
        return std::getc(u.f);
    };
    if (byte_before(q) == '\n') --q;
    while (q > 0 && byte_before(q) != '\n') --q;
    std::fseek(u.f, q, SEEK_SET);
}

namespace {

// After a failed write: what stdio still holds is dropped and the file is
// cut back to `start`, the end of its last whole record.
void cut_back(Unit& u, long start) {
    __fpurge(u.f);
    std::clearerr(u.f);
    if (start >= 0) {
        if (ftruncate(fileno(u.f), start) != 0) {
            // Nothing more can be done for the file; its position still
            // follows the records that were written.
        }
        std::fseek(u.f, start, SEEK_SET);
    }
    u.last = LastOp::None;
    u.at_end = true;
    u.at_eof = false;
}

// Appends `records` ('\n' between records) as they are to be stored.
void append_records(const Unit& u, std::string_view records, bool split, std::string& text) {
    for (;;) {
        const std::size_t nl = split ? records.find('\n') : std::string_view::npos;
        std::string_view record = records.substr(0, nl);
        if (u.cc) {
            const char control = record.empty() ? ' ' : record.front();
            if (control == '0') text.push_back('\n');
            if (!record.empty()) record.remove_prefix(1);
        }
        text.append(record);
        text.push_back('\n');
        if (nl == std::string_view::npos) return;
        records.remove_prefix(nl + 1);
    }
}

int write_records(int lu, std::string_view records, bool split) {
    Unit& u = unit(lu);
    if (!u.f || !u.writable) return 1;
    switch_to(u, LastOp::Write);
    if (!u.at_end) {
        // A record written in the middle of a sequential file becomes its last.
        const long pos = std::ftell(u.f);
        std::fseek(u.f, 0, SEEK_END);
        const long end = std::ftell(u.f);
        if (pos >= 0 && pos < end) {
            std::fflush(u.f);
            if (ftruncate(fileno(u.f), pos) != 0) return 1;
        }
        std::fseek(u.f, pos, SEEK_SET);
        u.at_end = true;
    }
    u.at_eof = false;
    std::string text;
    append_records(u, records, split, text);
    const long start = std::ftell(u.f);
    std::size_t fits = text.size();
    const long limit = size_limit[slot(lu)];
    if (limit >= 0 && start >= 0 && start + static_cast<long>(text.size()) > limit)
        fits = start < limit ? static_cast<std::size_t>(limit - start) : 0;
    bool ok = std::fwrite(text.data(), 1, fits, u.f) == fits;
    // A named file takes each record to disk at once, so that a full disk
    // is met by the record that does not fit.  The scratch scan file is
    // deleted at the end of every run and keeps stdio's buffering.
    if (!u.path.empty()) ok = std::fflush(u.f) == 0 && ok;
    ok = ok && fits == text.size() && !std::ferror(u.f);
    if (ok) return 0;
    cut_back(u, start);
    if (on_write_error) on_write_error(lu);
    return 1;
}

}  // namespace

int write_line(int lu, std::string_view record) { return write_records(lu, record, false); }

int write_lines(int lu, std::string_view records) { return write_records(lu, records, true); }

void set_write_error_handler(WriteErrorHandler handler) { on_write_error = handler; }

void set_unit_size_limit(int lu, long bytes) { size_limit[slot(lu)] = bytes; }

int flush_unit(int lu) {
    Unit& u = unit(lu);
    if (!u.f) return 1;
    return std::fflush(u.f) == 0 && !std::ferror(u.f) ? 0 : 1;
}

}  // namespace tarnivox
