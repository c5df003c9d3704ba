// ScratchDirectory.h: a folder of the process's own for what the engine keeps on the side.
//
// While it writes an output, the messaging layer keeps a temporary profile (under
// $XDG_STATE_HOME) and the engine temporary files for embedded objects (under $TMPDIR).
// Both are removed on every orderly end, but a second Ctrl-C ends the process at once,
// in the middle of that work. Pointing both variables at one private folder, removed as
// a whole at the end, leaves nothing behind in that case either; and two processes can
// never meet there.
#ifndef KRV_CLI_SCRATCHDIRECTORY_H
#define KRV_CLI_SCRATCHDIRECTORY_H

#include <memory>
#include <string>

namespace krv::cli {

class ScratchDirectory {
public:
    // Makes "krv-repair-XXXXXX" under $TMPDIR (or /tmp) and sets TMPDIR and XDG_STATE_HOME
    // to it. None when it cannot be made; the environment then stays as it was.
    static std::unique_ptr<ScratchDirectory> Create();

    // Takes charge of an existing folder (Create makes one).
    explicit ScratchDirectory(std::string path) : m_path(std::move(path)) {}
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    // Removes the folder and everything in it (also from another thread while the
    // engine still works in it).
    void Remove();

    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

} // namespace krv::cli

#endif
