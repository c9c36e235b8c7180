#include "operations/output_plan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

// The real path of a file still to be written: symbolic links followed
// (also to a file not yet made), "." and ".." resolved.
std::string real_path(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::absolute(path, ec).lexically_normal();
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(p, ec)); ++hops) {
        const fs::path to = fs::read_symlink(p, ec);
        if (ec) break;
        p = (to.is_absolute() ? to : p.parent_path() / to).lexically_normal();
    }
    const fs::path real = fs::weakly_canonical(p, ec);
    return ec ? p.string() : real.string();
}

}  // namespace

std::string unreadable_file(const std::string& what, const std::string& path) {
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (!fs::exists(st)) return what + " " + path + " does not exist";
    if (fs::is_directory(st)) return what + " " + path + " is a folder, not a file";
    // A device, a pipe or a socket has no end a reader can rely on.
    if (!fs::is_regular_file(st)) return what + " " + path + " is not a regular file";
    if (::access(path.c_str(), R_OK) != 0) return what + " " + path + " cannot be read";
    return {};
}

std::string unwritable_file(const std::string& what, const std::string& path, bool in_place) {
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (fs::is_directory(st)) return what + " " + path + " is a folder, not a file";
    if (fs::exists(st)) {
        if (!fs::is_regular_file(st)) return what + " " + path + " is not a regular file";
        if (::access(path.c_str(), W_OK) != 0) return what + " " + path + " cannot be written";
        if (in_place) return {};
    }
    const fs::path dir = fs::path(real_path(path)).parent_path();
    if (!fs::is_directory(dir, ec)) return what + " " + path + ": the folder " + dir.string() + " does not exist";
    if (::access(dir.c_str(), W_OK | X_OK) != 0)
        return what + " " + path + ": the folder " + dir.string() + " cannot be written";
    return {};
}

void OutputPlan::add(std::string role, const std::string& path, bool output) {
    File f;
    f.role = std::move(role);
    f.path = path;
    f.output = output;
    // Device and inode when the file exists (hard links are one file).
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        f.exists = true;
        f.dev = st.st_dev;
        f.ino = st.st_ino;
    }
    f.real = real_path(path);
    files_.push_back(std::move(f));
}

std::string OutputPlan::collision() const {
    for (std::size_t i = 0; i < files_.size(); ++i) {
        for (std::size_t k = 0; k < i; ++k) {
            const File& a = files_[k];
            const File& b = files_[i];
            if (!a.output && !b.output) continue;
            const bool same = a.exists && b.exists ? a.dev == b.dev && a.ino == b.ino : a.real == b.real;
            if (!same) continue;
            const File& out = b.output ? b : a;
            const File& other = b.output ? a : b;
            if (!other.output)
                return "the " + out.role + " " + out.path + " would replace an input file, the " + other.role + " " +
                       other.path + "; name another output";
            return "the " + b.role + " " + b.path + " and the " + a.role + " " + a.path + " are the same file";
        }
    }
    return {};
}

}  // namespace tarnivox
