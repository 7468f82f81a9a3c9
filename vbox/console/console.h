// The box's console: the words `vbox` passes to the daemon. The box's own
// commands (insmod, dmesg, ...) and those that components contribute: a
// board model's probe on its chip, a key press on the remote control, a
// card put into the reader. A component contributes with, in its
// CMakeLists.txt,
//
//     vbox_console(scart SOURCES console/stv6413.cc [LIBS lib...])
//
// and in that source a function `void vbox::console_scart(Console&)` that
// adds its commands. Nothing else changes: the daemon calls every
// contributed function at start, and the front end passes any word it
// does not know to the daemon and shows the daemon's list in `vbox --help`.
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

namespace vbox {

class Box;

// What a command acts on. The board's models change state under the
// kernel's CPU (kernel.atomically), as an interrupt would.
struct ConsoleContext {
    Box& box;
    kplat::Kernel& kernel;
    board::Board& board;
    const std::string& dir;  // the box's folder ($VBOX_DIR of its programs)
    // Where the command's caller is: a relative file name it gives is
    // taken from there (empty: the daemon's own folder).
    std::string caller_dir;

    // The caller's file name as the daemon reaches it.
    std::string caller_path(const std::string& name) const
    {
        return name.empty() || name[0] == '/' || caller_dir.empty() ? name : caller_dir + "/" + name;
    }
};

struct ConsoleCommand {
    std::string name;
    std::string args;  // usage after the name: "[status BYTE | ack on|off]"
    std::string help;  // one line; empty: not listed (the front end's own)
    // words[0] is the name. Returns the exit status for `vbox`; what the
    // command prints goes to out (to stdout for 0, to stderr otherwise).
    std::function<int(ConsoleContext& ctx, const std::vector<std::string>& words, std::string& out)> run;
};

class Console {
public:
    void add(ConsoleCommand command);
    // Runs between programs' calls (every so many): trims a model's records.
    void add_housekeeping(std::function<void(ConsoleContext&)> fn);

    const ConsoleCommand* find(const std::string& name) const;
    // "  NAME ARGS    HELP" for every listed command, in the order added.
    std::string usage() const;
    void housekeeping(ConsoleContext& ctx) const;

private:
    std::vector<ConsoleCommand> commands_;
    std::vector<std::function<void(ConsoleContext&)>> housekeeping_;
};

// The box's own commands, then every contributed set.
void add_box_commands(Console& console);
void add_contributed_commands(Console& console);

}  // namespace vbox
