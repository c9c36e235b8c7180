#include "operations/convert.h"

#include <filesystem>

#include "import/export.h"
#include "io/file_records.h"
#include "io/units.h"

namespace tarnivox {

StandardFileResult write_standard_file(const std::string& path, Messages& messages) {
    MessageRoute route(messages);
    StandardFileResult r;
    r.path = path;
    if (open_unit(LU_NEWSTD, path, OpenMode::Output) != 0) {
        r.failure = "Error opening file: Try again";
        messages.message(Message{"Tarnivox", r.failure, MessageKind::Error});
        return r;
    }
    log_standard_file_opened(std::filesystem::path(path).filename().string());
    // The copy closes the file; a copy that failed on the way leaves what it
    // wrote under the name that says so.
    r.written = COPY_TO_STD();
    if (!r.written) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(path + ".partial", ec)) r.path = path + ".partial";
        r.failure = "the standard data file was not written whole";
    }
    return r;
}

}  // namespace tarnivox
