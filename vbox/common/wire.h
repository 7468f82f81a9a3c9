// Framed messages over the box's Unix socket (see proto.h). Used by the
// bridge inside arbitrary programs, so: no allocation, no exceptions, and
// only plain system calls.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "proto.h"

namespace vbox {

// Path of the box's socket for the box folder dir, into out (size n).
bool socket_path(const char* dir, char* out, size_t n);

// Connects to the socket at path; -1 with errno on failure. Close-on-exec.
// marked: the socket gets an address of its own first (the kernel picks an
// abstract name), which tells a device's data channel from the front end's
// connections for as long as the descriptor lives, also after exec.
int connect_to(const char* path, bool marked = false);

// Sends one message made of a header and up to two payload pieces.
bool send_msg(int fd, uint32_t type, const void* a = nullptr, size_t alen = 0, const void* b = nullptr,
              size_t blen = 0);

// Reads exactly n bytes; timeout_ms < 0 waits for ever. False on error, end
// of stream or time-out.
bool read_full(int fd, void* buf, size_t n, int timeout_ms = -1);

// Reads a header and checks it (magic, payload limit).
bool read_header(int fd, MsgHeader& h, int timeout_ms = -1);

// Reads one message of a channel whose peer sends nothing more until it is
// answered: header and payload in as few reads as there can be. The
// payload (at most cap bytes, else false) goes to body.
bool recv_msg(int fd, MsgHeader& h, void* body, size_t cap, int timeout_ms = -1);

// Reads and throws away n bytes.
bool skip_bytes(int fd, size_t n, int timeout_ms = -1);

}  // namespace vbox
