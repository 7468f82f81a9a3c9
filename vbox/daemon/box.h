// The virtual box daemon's state: one kernel platform on the virtual board,
// the box's console, the device nodes of the box, and the files programs
// have open on them.
#pragma once

#include <stdint.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "board/board.h"
#include "caller_memory.h"
#include "console/console.h"
#include "kplat/kernel.h"

namespace vbox {

struct Node {
    std::string path;
    char type;  // 'c': the box has character devices only
    unsigned major, minor;
};

// A device file a program holds open: a kernel process of its own (so the
// driver sees one opener per open, as on the box), whose calls take the
// memory of whoever is calling.
struct OpenFile {
    std::string path;
    CallerMemory* memory = nullptr;  // owned by proc
    kplat::Process* proc = nullptr;
    int fd = -1;
    std::mutex call;  // one caller at a time drives `memory`
};

class Box {
public:
    Box(const std::vector<std::string>& module_dirs, const std::string& dir);
    ~Box();

    kplat::Kernel& kernel() { return *kernel_; }
    const std::string& dir() const { return dir_; }

    // Runs the start-up script; every line and every failure goes into the
    // boot transcript. False when a line failed.
    bool boot(const std::string& script);
    std::string boot_transcript() const;

    // One console line ("insmod st6413 scarts_en=3", "dmesg", "scart",
    // ...). Returns the exit status and writes what the command prints into
    // out; 127 for a word the console does not know.
    // caller_pid: the front end's process, whose folder relative file
    // names are taken from.
    int command(const std::string& line, std::string& out, int caller_pid = 0);
    const console::Console& console() const { return console_; }
    // The box's own commands; with a null box only for their list.
    static void add_box_commands(console::Console& console, Box* box);

    // The box's network, for `vbox status` and the front end: the names of
    // the box's and the head end's network namespaces (empty: none).
    void set_network(const std::string& box_ns, const std::string& headend_ns, const std::string& mac);

    // Device files.
    bool find_node(const std::string& path, Node& out);
    // Opens the node for a program (of pointer_bits' ABI); the file is
    // known by the program's inode of the data channel from then on. 0 or
    // a negative errno.
    int open(const Node& node, int flags, uint64_t inode, uint32_t pid, uint32_t pointer_bits,
             std::shared_ptr<OpenFile>& out);
    std::shared_ptr<OpenFile> file(uint64_t inode);
    void close(uint64_t inode);
    // After each program's call: the models' housekeeping, now and then.
    void after_call();
    // Interrupts the calls in progress (a signal to each opener), so that
    // they return.
    void interrupt_calls();

    // Powers the box off: the board goes, then the kernel unloads the
    // modules and runs its shutdown check; what it found, one line each.
    std::vector<std::string> shutdown();

private:
    int mknod(const std::vector<std::string>& words, std::string& out);
    std::string loader_error(const char* cmd, const std::string& name, int r) const;
    void publish_proc();

    std::string dir_;
    std::unique_ptr<kplat::Kernel> kernel_;
    std::unique_ptr<board::Board> board_;
    console::Console console_;
    std::unique_ptr<console::Context> context_;
    mutable std::mutex m_;
    std::vector<Node> nodes_;
    std::map<uint64_t, std::shared_ptr<OpenFile>> files_;
    std::string transcript_;
    std::string box_ns_, headend_ns_, mac_;
    unsigned calls_ = 0;
    std::mutex proc_m_;
    std::string proc_i2c_{"\n"};  // as last published ("\n": not yet)
};

}  // namespace vbox
