#include "io/units.h"

#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "core/internal_error.h"

namespace tarnivox {
namespace {

enum class LastOp { None, Read, Write };

struct Unit {
    std::FILE* f = nullptr;
    std::string path;
    // A new output is written to `partial` (NAME.partial beside `target`,
    // the file NAME or what it links to) and renamed over `target` when the
    // unit is closed; empty for files read or appended to in place.
    std::string partial;
    std::string target;
    bool cc = false;       // first-character carriage control
    bool at_eof = false;   // the last read met the end of file
    // Records before the position while the file is read from its start
    // (-1 once a write made the count unknown): the line a reader names.
    long record = 0;
    bool writable = false;
    bool at_end = false;   // the position is known to be the end of the file
    LastOp last = LastOp::None;
    // The file position after the last write, while only writes followed
    // it (-1: unknown).  Records written one after another then never ask
    // the system where the file stands.
    long written_to = -1;
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
    if (op != LastOp::Write) u.written_to = -1;
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

constexpr const char* kWrittenElsewhere = "the file is being written by another run";

// ---------------------------------------------------------------- claims

// Where a new output NAME is written: beside the file NAME stands for (a
// symbolic link keeps pointing at the new file), as NAME.partial.
std::string target_of(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(path, ec))) {
        const fs::path real = fs::canonical(path, ec);
        if (!ec) return real.string();
    }
    return path;
}

std::string partial_of(const std::string& target) { return target + ".partial"; }

// Takes NAME.partial for writing, exclusively: a second run writing the same
// output (here or in another process) is refused instead of mixing its
// records in.  The lock lives as long as the descriptor.  -1 when refused
// (last_open_failure says why).
int lock_partial(const std::string& partial) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int fd = ::open(partial.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            // A link in the place of the unfinished file is never followed:
            // the user removes it (the name to remove is the .partial one).
            last_open_failure = errno == ELOOP ? partial + " is a symbolic link; remove it" : std::strerror(errno);
            return -1;
        }
        struct stat held {};
        if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
            ::close(fd);
            last_open_failure = partial + " is not a regular file";
            return -1;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            ::close(fd);
            last_open_failure = err == EWOULDBLOCK ? kWrittenElsewhere : std::strerror(err);
            return -1;
        }
        // The run that held it may have renamed it over its output just
        // before letting go: then the name is free for a new file.
        struct stat named {};
        if (::stat(partial.c_str(), &named) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino)
            return fd;
        ::close(fd);
    }
    last_open_failure = kWrittenElsewhere;
    return -1;
}

// Outputs claimed before anything is written to them (a batch claims every
// output of its plan at the start), by the path given.
struct Claim {
    std::string partial;
    int fd = -1;
    bool made = false;  // the claim created NAME.partial
};
std::map<std::string, Claim> claims;

// A claim is known by the file it will replace.
std::string claim_key(std::string_view path) {
    std::error_code ec;
    const std::filesystem::path a = std::filesystem::absolute(std::filesystem::path(path), ec);
    return target_of(ec ? std::string(path) : a.lexically_normal().string());
}

// Drops a claim's file when nothing was written to it.
void let_go(const std::string& partial, int fd, bool remove_if_empty) {
    struct stat held {};
    if (remove_if_empty && ::fstat(fd, &held) == 0 && held.st_size == 0) {
        struct stat named {};
        if (::stat(partial.c_str(), &named) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino)
            ::unlink(partial.c_str());
    }
    ::close(fd);
}

// A NAME.partial left by an earlier run, held under our lock: it is
// removed and made anew rather than emptied in place, so that a hard link
// to it elsewhere keeps its records.  The new file is created exclusively
// and locked before the old lock goes: a second run that takes the name in
// between makes us refuse, never share.  The new descriptor, or -1.
int renew_partial(const std::string& partial, int fd) {
    struct stat held {};
    if (::fstat(fd, &held) == 0 && held.st_size == 0 && held.st_nlink <= 1) return fd;
    struct stat named {};
    if (::stat(partial.c_str(), &named) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino)
        ::unlink(partial.c_str());
    const int fresh = ::open(partial.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fresh < 0 || ::flock(fresh, LOCK_EX | LOCK_NB) != 0) {
        last_open_failure = fresh < 0 && errno != EEXIST ? std::string(std::strerror(errno)) : kWrittenElsewhere;
        if (fresh >= 0) ::close(fresh);
        ::close(fd);
        return -1;
    }
    ::close(fd);
    return fresh;
}

// Opens a new output: its claim, or a new lock on NAME.partial, made anew.
std::FILE* open_partial(const std::string& target, std::string& partial) {
    partial = partial_of(target);
    int fd = -1;
    const auto held = claims.find(claim_key(target));
    if (held != claims.end() && held->second.partial == partial) {
        fd = held->second.fd;
        claims.erase(held);
    } else {
        fd = lock_partial(partial);
        if (fd < 0) return nullptr;
    }
    fd = renew_partial(partial, fd);
    if (fd < 0) return nullptr;
    std::FILE* f = ::ftruncate(fd, 0) == 0 ? ::fdopen(fd, "w+b") : nullptr;
    if (!f) {
        last_open_failure = std::strerror(errno);
        let_go(partial, fd, true);
    }
    return f;
}

// A finished output takes the place of the file it replaces: its records
// on disk first, the old file's permissions, then the rename.
int commit(Unit& u) {
    bool ok = std::fflush(u.f) == 0 && !std::ferror(u.f);
    ok = ::fsync(fileno(u.f)) == 0 && ok;
    struct stat old {};
    if (::stat(u.target.c_str(), &old) == 0) {
        if (::fchmod(fileno(u.f), old.st_mode & 07777) != 0) {
            // The new file keeps the permissions it was created with.
        }
    }
    ok = ok && std::rename(u.partial.c_str(), u.target.c_str()) == 0;
    std::fclose(u.f);
    return ok ? 0 : 1;
}

}  // namespace

std::string open_failure_reason() { return last_open_failure; }

int claim_output(std::string_view path) {
    const std::string key = claim_key(path);
    if (claims.count(key) != 0) return 0;
    const std::string partial = partial_of(key);
    std::error_code ec;
    const bool existed = std::filesystem::exists(std::filesystem::symlink_status(partial, ec));
    const int fd = lock_partial(partial);
    if (fd < 0) return 1;
    claims[key] = Claim{partial, fd, !existed};
    return 0;
}

void release_output_claim(std::string_view path) {
    const auto held = claims.find(claim_key(path));
    if (held == claims.end()) return;
    let_go(held->second.partial, held->second.fd, held->second.made);
    claims.erase(held);
}

int open_unit(int lu, std::string_view path, OpenMode mode, bool carriage_control) {
    Unit& u = unit(lu);
    close_unit(lu);
    std::string p(path);
    std::string partial, target;
    std::FILE* f = nullptr;
    // A directory opens under stdio on some systems; it is no file.
    if (mode != OpenMode::Scratch) {
        std::error_code ec;
        const std::filesystem::file_status st = std::filesystem::status(std::filesystem::path(p), ec);
        if (std::filesystem::is_directory(st)) {
            last_open_failure = std::strerror(EISDIR);
            return 1;
        }
        // A device or a pipe has no end a reader could rely on (/dev/zero
        // reads for ever, a pipe waits for a writer), and a new output is
        // never renamed over one: files only.
        const bool file_only = mode == OpenMode::Read || mode == OpenMode::Old || mode == OpenMode::Output;
        if (file_only && std::filesystem::exists(st) && !std::filesystem::is_regular_file(st)) {
            last_open_failure = "not a regular file";
            return 1;
        }
    }
    switch (mode) {
        case OpenMode::Read:
            f = std::fopen(p.c_str(), "rb");
            break;
        case OpenMode::Old:
            f = std::fopen(p.c_str(), "r+b");
            break;
        case OpenMode::New:
            if (exists(p)) {
                last_open_failure = "the file already exists";
                return 1;
            }
            f = std::fopen(p.c_str(), "w+b");
            break;
        case OpenMode::Replace:
            f = std::fopen(p.c_str(), "w+b");
            break;
        case OpenMode::Output:
            // Written beside the old file and renamed over it when complete:
            // an earlier complete file survives a run that fails or is
            // stopped on the way.
            target = target_of(p);
            f = open_partial(target, partial);
            if (!f) return 1;
            break;
        case OpenMode::Append:
            // Appended in place: the records already there are never
            // rewritten, and a run stopped on the way leaves whole records
            // after them.  One writer at a time.
            f = std::fopen(p.c_str(), exists(p) ? "r+b" : "w+b");
            if (f && ::flock(fileno(f), LOCK_EX | LOCK_NB) != 0) {
                const int err = errno;
                std::fclose(f);
                last_open_failure = err == EWOULDBLOCK ? kWrittenElsewhere : std::strerror(err);
                return 1;
            }
            if (f) start_on_new_line(f);
            break;
        case OpenMode::Scratch:
            f = std::tmpfile();
            p.clear();
            break;
    }
    if (!f) {
        last_open_failure = std::strerror(errno);
        return 1;
    }
    last_open_failure.clear();
    u.f = f;
    u.path = p;
    u.partial = partial;
    u.target = target;
    u.cc = carriage_control;
    u.at_eof = false;
    u.record = 0;
    u.writable = mode != OpenMode::Read;
    u.at_end = mode == OpenMode::New || mode == OpenMode::Replace || mode == OpenMode::Output ||
               mode == OpenMode::Append || mode == OpenMode::Scratch;
    u.last = LastOp::None;
    u.written_to = -1;
    return 0;
}

int close_unit(int lu) {
    Unit& u = unit(lu);
    int status = 0;
    if (u.f && !u.partial.empty()) {
        status = commit(u);
        if (status != 0) last_open_failure = std::strerror(errno);
    } else if (u.f) {
        std::fclose(u.f);  // a tmpfile() scratch file is deleted here
    }
    u = Unit{};
    return status;
}

void abandon_unit(int lu) {
    Unit& u = unit(lu);
    if (u.f && !u.partial.empty()) {
        // Whole records only are on disk (each went as it was written); an
        // output with none leaves nothing behind.
        std::fflush(u.f);
        struct stat held {};
        const bool empty = ::fstat(fileno(u.f), &held) == 0 && held.st_size == 0;
        if (empty) ::unlink(u.partial.c_str());
        std::fclose(u.f);
    } else if (u.f) {
        std::fclose(u.f);
    }
    u = Unit{};
}

bool unit_is_open(int lu) { return unit(lu).f != nullptr; }

std::string unit_path(int lu) { return unit(lu).path; }

std::string unit_written_path(int lu) {
    const Unit& u = unit(lu);
    return u.partial.empty() ? u.path : u.partial;
}

void close_all_units() {
    for (int lu : kUnits) close_unit(lu);
}

void abandon_all_units() {
    for (int lu : kUnits) abandon_unit(lu);
}

int write_whole_file(std::string_view path, std::string_view text) {
    std::string partial;
    const std::string target = target_of(std::string(path));
    Unit u;
    u.f = open_partial(target, partial);
    if (!u.f) return 1;
    u.partial = partial;
    u.target = target;
    const bool written = std::fwrite(text.data(), 1, text.size(), u.f) == text.size();
    if (!written) {
        last_open_failure = std::strerror(errno);
        std::fclose(u.f);
        ::unlink(partial.c_str());
        return 1;
    }
    if (commit(u) != 0) {
        last_open_failure = std::strerror(errno);
        return 1;
    }
    return 0;
}

namespace {
// An internal error anywhere flushes and closes the program's files first;
// what it was writing stays unfinished, as NAME.partial.
[[maybe_unused]] const bool cleanup_registered = (set_internal_error_cleanup(&abandon_all_units), true);
}  // namespace

int read_line(int lu, std::string& line) {
    Unit& u = unit(lu);
    line.clear();
    if (!u.f) return READ_ERROR;
    switch_to(u, LastOp::Read);
    // One thread owns the units: characters are taken without stdio's lock.
    int c = getc_unlocked(u.f);
    if (c == EOF) {
        u.at_eof = true;
        u.at_end = true;
        return READ_EOF;
    }
    // Characters go to the line a block at a time.
    char block[256];
    std::size_t k = 0;
    while (c != EOF && c != '\n') {
        // No file of the program has records of this length: a file
        // without line ends (a device, a binary file) is refused rather
        // than read without bound.
        if (line.size() + k >= MAX_RECORD_LENGTH) {
            line.clear();
            return READ_ERROR;
        }
        block[k++] = static_cast<char>(c);
        if (k == sizeof block) {
            line.append(block, k);
            k = 0;
        }
        c = getc_unlocked(u.f);
    }
    line.append(block, k);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    u.at_eof = false;
    u.at_end = false;
    if (u.record >= 0) ++u.record;
    return READ_OK;
}

int unit_line_number(int lu) {
    const Unit& u = unit(lu);
    if (!u.f || u.record < 0) return -1;
    return static_cast<int>(u.at_eof ? u.record + 1 : u.record);
}

bool unit_at_end_of_file(int lu) { return unit(lu).at_eof; }

void rewind_unit(int lu) {
    Unit& u = unit(lu);
    if (!u.f) return;
    std::fflush(u.f);
    std::rewind(u.f);
    u.at_eof = false;
    u.record = 0;
    u.at_end = false;
    u.last = LastOp::None;
    u.written_to = -1;
}

void backspace_unit(int lu) {
    Unit& u = unit(lu);
    if (!u.f) return;
    std::fflush(u.f);
    u.last = LastOp::None;
    u.at_end = false;
    u.written_to = -1;
    if (u.at_eof) {  // step back over the end of file only
        u.at_eof = false;
        std::fseek(u.f, 0, SEEK_END);
        return;
    }
    long q = std::ftell(u.f);
    if (q <= 0) return;
    if (u.record > 0) --u.record;
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
    u.written_to = -1;
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
        u.written_to = pos;
    }
    u.at_eof = false;
    u.record = -1;
    std::string text;
    append_records(u, records, split, text);
    const long start = u.written_to >= 0 ? u.written_to : std::ftell(u.f);
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
    if (ok) {
        u.written_to = start >= 0 ? start + static_cast<long>(fits) : -1;
        return 0;
    }
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
