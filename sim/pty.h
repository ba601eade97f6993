// The pseudo-terminal the simulated modem lives on, and the symlink naming it.
#pragma once

#include <string>

namespace sim {

struct PtyPair {
    int master = -1; // non-blocking, close-on-exec
    int slave = -1; // held open by the simulator so the master never sees a hang-up
    std::string slave_path;
};

// Opens a pseudo-terminal with both sides raw (no echo, no CR/LF changes).
// Returns false and sets *error on failure; then nothing is left open.
bool open_pty(PtyPair& out, std::string* error);

// Closes both descriptors of `pty` that are still open.
void close_pty(PtyPair& pty);

// A symlink PATH -> target that removes itself when destroyed.
class PtyLink {
public:
    PtyLink() = default;
    ~PtyLink() { remove(); }
    PtyLink(const PtyLink&) = delete;
    PtyLink& operator=(const PtyLink&) = delete;

    // Points `path` at `target`, replacing an existing symlink but never a
    // regular file. Returns false and sets *error on failure (nothing created).
    bool create(const std::string& path, const std::string& target, std::string* error);

    // Removes the link if it still points at our target; safe to repeat.
    void remove();

private:
    std::string path_;
    std::string target_;
};

} // namespace sim
