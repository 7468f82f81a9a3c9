// The smart-card reader and its card from arbitrary input: console lines
// (card ...), bytes written to the reader, its requests with arbitrary
// records, reads, time passing, the card going in and out. Records: an
// action byte, a length byte, that many bytes. Besides not crashing, every
// call answers within its documented results and the console never prints
// without a line end.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "board/smartcard.h"
#include "bench/bench.h"

namespace {

using board::CardReader;
constexpr unsigned major = 240;
constexpr int O_RDWR_NONBLOCK = 2 | 04000;

struct Rig : bench::Bench {
    Rig() {
        std::string out;
        if (board::card_command(board, {"card", "reader", std::to_string(major)}, out) != 0) std::abort();
    }
};

Rig& rig() {
    static Rig* r = new Rig;  // lives for the whole run
    return *r;
}

void check(bool ok) {
    if (!ok) std::abort();
}

unsigned long addr(const void* p) { return reinterpret_cast<unsigned long>(p); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Rig& r = rig();
    CardReader& reader = *r.board.served<board::CardReader>();
    std::string out;
    // Every input starts from a fresh card out of the reader.
    reader.remove();
    board::card_command(r.board, {"card", "clear"}, out);
    reader.clear_log();
    int fd = r.proc.open(major, CardReader::reader_minor, O_RDWR_NONBLOCK);
    int watch = r.proc.open(major, CardReader::presence_minor, O_RDWR_NONBLOCK);
    check(fd >= 0 && watch >= 0);

    for (size_t at = 0; at + 2 <= size;) {
        uint8_t action = data[at], n = data[at + 1];
        at += 2;
        std::vector<uint8_t> arg(data + at, data + std::min(size, at + n));
        at += arg.size();
        uint8_t buf[512];
        switch (action % 8) {
        case 0: {  // a console line
            std::vector<std::string> words = {"card"};
            std::string w;
            for (uint8_t c : arg) {
                if (c == ' ') {
                    if (!w.empty()) words.push_back(w);
                    w.clear();
                } else {
                    w += static_cast<char>(c);
                }
            }
            if (!w.empty()) words.push_back(w);
            if (words.size() > 1 && words[1] == "reader") break;
            out.clear();
            int status = board::card_command(r.board, words, out);
            check(status == 0 || status == 1 || status == 2);
            check(out.empty() || out.back() == '\n');
            break;
        }
        case 1: {
            long w = r.proc.write(fd, addr(arg.data()), arg.size());
            check(w == static_cast<long>(arg.size()) || w == -EIO);
            break;
        }
        case 2: {
            long res = r.proc.ioctl(fd, CardReader::RESET, 0);
            check(res == 0 || res == -ENXIO);
            break;
        }
        case 3: {  // a request with a record made of the input
            static const unsigned cmds[] = {CardReader::SET_PARAMS, CardReader::GET_ATR, CardReader::GET_PARAMS,
                                            CardReader::PRESET_PARAMS, 0x20005301};
            uint8_t record[16] = {};
            memcpy(record, arg.data(), std::min(arg.size(), sizeof record));
            // The ATR's data pointer: room of our own, or none (never a
            // stray address of this process).
            uintptr_t to = !arg.empty() && arg[0] & 0x80 ? addr(buf) : 0;
            memcpy(record + sizeof(void*), &to, sizeof to);
            long res = r.proc.ioctl(fd, cmds[n % 5], addr(record));
            check(res == 0 || res == -EINVAL || res == -EFAULT || res == -ENXIO || res == -EIO || res == -ENOTTY);
            break;
        }
        case 4: r.kernel.advance(n); break;
        case 5: {
            long got = r.proc.read(n & 1 ? watch : fd, addr(buf), sizeof buf);
            check((got >= 0 && got <= static_cast<long>(sizeof buf)) || got == -EAGAIN);
            break;
        }
        case 6:
            if (n & 1) reader.insert();
            else reader.remove();
            break;
        case 7:  // the program opens the reader again
            r.proc.close(fd);
            fd = r.proc.open(major, CardReader::reader_minor, O_RDWR_NONBLOCK);
            check(fd >= 0);
            break;
        }
    }
    r.proc.close(fd);
    r.proc.close(watch);
    return 0;
}
