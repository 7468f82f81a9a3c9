// The box's console: the words `vbox` passes to the virtual box's daemon.
// The daemon's own commands (insmod, dmesg, ...) and those that components
// contribute from their own folders: a board model's probe on its chip
// (beside the model), a key press on the remote control (beside the driver
// whose protocol it speaks), a card put into the reader. A component
// contributes with, in its CMakeLists.txt,
//
//     vbox_console(scart SOURCES console.cc [LIBS lib...])
//
// (no SOURCES when the function is in a library the daemon links, as the
// board's models are) and a function `void console::words_scart(Console&)`
// that adds its commands. Nothing else changes: the daemon calls every
// contributed function at start, and the front end passes any word it does
// not know to the daemon and shows the daemon's list in `vbox --help`.
//
// This library knows nothing of the daemon: a command sees the box's
// kernel, its board and its folder.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace board {
class Board;
}
namespace kplat {
class Kernel;
}

namespace console {

// What a command acts on. The board's models change state under the
// kernel's CPU (kernel.atomically), as an interrupt would.
struct Context {
    kplat::Kernel& kernel;
    board::Board& board;
    const std::string& dir;  // the box's folder ($VBOX_DIR of its programs)
    // Where the command's caller is: a relative file name it gives is
    // taken from there (empty: the daemon's own folder).
    std::string caller_dir;

    // The caller's file name as the daemon reaches it.
    std::string caller_path(const std::string& name) const {
        return name.empty() || name[0] == '/' || caller_dir.empty() ? name : caller_dir + "/" + name;
    }
};

struct Command {
    std::string name;
    std::string args;  // usage after the name: "[status BYTE | ack on|off]"
    std::string help;  // one line; empty: not listed (the front end's own)
    // words[0] is the name. Returns the exit status for `vbox`; what the
    // command prints goes to out (to stdout for 0, to stderr otherwise).
    std::function<int(Context& ctx, const std::vector<std::string>& words, std::string& out)> run;
};

class Console {
public:
    void add(Command command);
    // Runs between programs' calls (every so many): trims a model's records.
    void add_housekeeping(std::function<void(Context&)> fn);

    const Command* find(const std::string& name) const;
    // "  NAME ARGS    HELP" for every listed command, in the order added.
    std::string usage() const;
    void housekeeping(Context& ctx) const;

private:
    std::vector<Command> commands_;
    std::vector<std::function<void(Context&)>> housekeeping_;
};

// Every contributed set of words (vbox_console), in the order of the
// build's components; the daemon's build generates it.
void add_contributed_words(Console& console);

}  // namespace console
