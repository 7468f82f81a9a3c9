// Wire protocol between programs inside the virtual box (through the device
// bridge), the `vbox` front end and the daemon `vboxd`, over the box's Unix
// socket. Every message is a fixed header and a payload of at most
// kMaxPayload bytes; fields have fixed widths so a 32-bit program under
// emulation and the 64-bit daemon agree (both little-endian).
#pragma once

#include <stdint.h>

namespace vbox {

constexpr uint32_t kMagic = 0x58424f56;  // "VOBX"
constexpr uint32_t kMaxPayload = 1u << 20;
constexpr unsigned kMaxPath = 256;
constexpr uint32_t kMaxMem = 65536;  // largest memory request; the daemon splits longer copies

enum MsgType : uint32_t {
    // First message of a connection; it decides what the connection is.
    MSG_OPEN = 1,   // OpenReq: open a device node; the connection becomes its data channel
    MSG_CTRL = 2,   // CtrlHello: a process's control channel for ioctls
    MSG_ADMIN = 3,  // text command from the front end; reply MSG_ADMIN_REPLY
    // Replies and requests on established connections.
    MSG_OPEN_REPLY = 10,   // OpenReply
    MSG_IOCTL = 11,        // IoctlReq + window bytes, client to daemon
    MSG_MEM_READ = 12,     // MemReq, daemon asks the caller for its memory
    MSG_MEM_WRITE = 13,    // MemReq + bytes, daemon stores into the caller's memory
    MSG_MEM_CHECK = 14,    // MemReq, daemon asks whether a range is accessible
    MSG_MEM_REPLY = 15,    // MemReply (+ bytes for a read)
    MSG_RESULT = 16,       // IoctlResult + Store records
    MSG_ADMIN_REPLY = 17,  // AdminReply header + text
    // A device's data channel, after MSG_OPEN_REPLY: the program's read,
    // write and poll on the file, each answered by one MSG_DATA_DONE, in
    // turn. The driver keeps what the program has not read.
    MSG_DATA_READ = 20,    // DataReq (count); reply + the bytes read
    MSG_DATA_WRITE = 21,   // DataReq (count) + the bytes
    MSG_DATA_POLL = 22,    // DataReq (count: the events asked); reply: the driver's mask
    MSG_DATA_CANCEL = 23,  // no payload: a signal came while the call waits; the call ends -EINTR
    MSG_DATA_DONE = 24,    // DataDone (+ bytes for a read)
    MSG_DATA_READY = 25    // no payload, unasked: the file may now have what the last poll asked
};

struct MsgHeader {
    uint32_t magic;
    uint32_t type;
    uint32_t len;  // payload bytes that follow
};

enum OpenStatus : int32_t { OPEN_OK = 0, OPEN_NOT_SERVED = 1, OPEN_FAILED = 2 };

struct OpenReq {
    uint64_t inode;  // inode of the caller's end of this connection
    uint32_t flags;  // open flags as the program gave them
    uint32_t pid;
    uint32_t pointer_bits;  // 32 or 64: the caller's ABI, which the file keeps
    char path[kMaxPath];
};

struct OpenReply {
    int32_t status;  // OpenStatus
    int32_t error;   // errno for OPEN_FAILED
};

struct CtrlHello {
    uint32_t pid;
    uint32_t pointer_bits;  // 32 or 64: the caller's address width
};

// The caller's memory at arg that the driver is likely to copy travels
// with the request (the driver's copies inside it are answered at once),
// and what the driver stores there comes back with the result; a copy
// that reaches outside it is asked for on its own, during the call.
constexpr uint32_t kMaxWindow = 1024;

struct IoctlReq {
    uint64_t inode;  // the caller's end of the device's data channel
    uint32_t cmd;
    uint32_t pad;
    uint64_t arg;
    uint32_t sent;      // bytes of the caller's memory at arg that follow, all readable
    uint32_t writable;  // how many of them (from arg on) the caller may store to
};

struct MemReq {
    uint64_t addr;
    uint32_t len;       // at most kMaxMem
    uint32_t writable;  // MSG_MEM_CHECK: the range must also be writable
};

struct MemReply {
    int32_t ok;    // 1 when the whole range was accessible
    uint32_t len;  // bytes that follow (reads)
};

struct IoctlResult {
    int64_t ret;         // the driver's result: >= 0, or a negative errno
    uint32_t stores;     // Store records that follow, each with its bytes
    uint32_t read_end;   // how far past arg the driver read (up to kMaxWindow)
    uint32_t write_end;  // how far past arg it wrote: the caller sends that much next time
    uint32_t pad;
};

// What the driver stored inside the window, to be written at arg + offset.
struct Store {
    uint32_t offset;
    uint32_t len;
};

constexpr uint32_t kDataNonblock = 1;  // DataReq flags: the program's file is O_NONBLOCK

struct DataReq {
    uint32_t count;
    uint32_t flags;
};

struct DataDone {
    int64_t ret;  // the driver's result: >= 0, or a negative errno
};

struct AdminReply {
    int32_t status;  // exit status for the front end
};

}  // namespace vbox
