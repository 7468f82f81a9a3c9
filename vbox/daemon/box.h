// The virtual box daemon's state: one kernel platform on the virtual board,
// the device nodes of the box, and the files programs have open on them.
#pragma once

#include <stdint.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "caller_memory.h"
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

class Board;

class Box {
public:
    Box(const std::vector<std::string>& module_dirs, const std::string& dir);
    ~Box();

    kplat::Kernel& kernel() { return *kernel_; }
    const std::string& dir() const { return dir_; }

    // Runs the start-up script; every line and every failure goes into the
    // boot transcript.
    void boot(const std::string& script);
    std::string boot_transcript() const;

    // One line of the box's own commands ("insmod st6413 scarts_en=3",
    // "mknod /dev/scart-0 c 61 0", "dmesg", ...). Returns the exit status
    // and writes what the command prints into out.
    int command(const std::string& line, std::string& out);

    // Device files.
    bool find_node(const std::string& path, Node& out);
    // Opens the node for a program (of pointer_bits' ABI); the file is
    // known by the program's inode of the data channel from then on. 0 or
    // a negative errno.
    int open(const Node& node, int flags, uint64_t inode, uint32_t pid, uint32_t pointer_bits,
             std::shared_ptr<OpenFile>& out);
    std::shared_ptr<OpenFile> file(uint64_t inode);
    void close(uint64_t inode);

    Board& board() { return *board_; }
    bool stopping() const;
    void stop();

private:
    int insmod(const std::vector<std::string>& words, std::string& out);
    int mknod(const std::vector<std::string>& words, std::string& out);
    std::string loader_error(const char* cmd, const std::string& name, int r) const;

    std::string dir_;
    std::unique_ptr<kplat::Kernel> kernel_;
    std::unique_ptr<Board> board_;
    mutable std::mutex m_;
    std::vector<Node> nodes_;
    std::map<uint64_t, std::shared_ptr<OpenFile>> files_;
    std::string transcript_;
    bool stopping_ = false;
};

// The board's models, attached to the kernel before the box boots.
class Board {
public:
    explicit Board(kplat::Kernel& kernel);
    ~Board();
    // Board commands of the front end (chip state, key presses...); false
    // when the words are not a board command.
    bool command(const std::vector<std::string>& words, std::string& out, int& status);
    // Called after each program's ioctl: housekeeping of the models.
    void after_call();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace vbox
