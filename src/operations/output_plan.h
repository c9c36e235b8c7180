#pragma once
// The plan of the files a run reads and writes, made before any work: no
// output may be an input or another output of the same run, whatever links
// (symbolic or hard) lead to it, and every output must be writable where it
// will be made.  The batch line and the library's whole-reduction call
// plan with it, so both refuse the same runs with the same messages.

#include <string>
#include <vector>

namespace tarnivox {

// Why `path` cannot be read as a file ("what PATH does not exist", ...);
// empty when it can.
std::string unreadable_file(const std::string& what, const std::string& path);

// Why `path` cannot be written as a file; empty when it can.  A file
// appended to in place (a log) needs only itself writable; a new output is
// made beside the file it replaces (or the file a link points at) and
// renamed over it, so its folder must take a new file.
std::string unwritable_file(const std::string& what, const std::string& path, bool in_place = false);

class OutputPlan {
public:
    // One file of the run: its role in messages ("data file", "output of
    // x.dat"), its absolute path, and whether the run writes it.  A new
    // output is given with its NAME.partial as a second output.
    void add(std::string role, const std::string& path, bool output);
    // Empty when no output is an input or another output; otherwise the
    // one-line reason naming both files.
    std::string collision() const;

private:
    struct File {
        std::string role, path;
        bool output = false;
        bool exists = false;
        unsigned long long dev = 0, ino = 0;
        std::string real;
    };
    std::vector<File> files_;
};

}  // namespace tarnivox
