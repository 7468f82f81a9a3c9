// libsmcard: the reader driver's requests and the byte exchanges with the
// card over the two device nodes. Every wait is a poll on the descriptor,
// so a card that says nothing costs the caller the wait and no more.
#include "smcard.h"

#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#define SCARD_API extern "C" __attribute__((visibility("default")))

// C linkage from the header.
__attribute__((visibility("default"))) struct scard_atr atr;

namespace {

int presence_fd = -1;
int reader_fd = -1;
unsigned char atr_buffer[512];

// Waits up to ms for input on fd: true when something came (bytes, or the
// end of the file: the reader hangs up when the card is taken out).
bool input_within(int fd, int ms) {
    struct pollfd p = {fd, POLLIN, 0};
    return poll(&p, 1, ms) > 0;
}

// One byte; a read of nothing (end of file) fails too.
bool read_byte(int fd, unsigned char* byte) { return read(fd, byte, 1) == 1; }

bool byte_within(int fd, int ms, unsigned char* byte) { return input_within(fd, ms) && read_byte(fd, byte); }

bool write_all(int fd, const unsigned char* p, size_t n) { return write(fd, p, n) == static_cast<ssize_t>(n); }

// What the card sent after an earlier exchange stopped waiting for it (a
// status byte sent late, the tail of an answer) would be read as the answer
// to the next command, and every later status word would be one byte off.
// Taken away before a header goes out, without waiting; a card that sends
// more than this meanwhile is out of step and gets no command.
constexpr int drain_limit = 1024;

bool drain_stale(int fd) {
    unsigned char stale[64];
    for (long taken = 0; input_within(fd, 0);) {
        if (taken >= drain_limit) return false;
        // Hung up (the card was taken out) or failing: the header write
        // that follows reports it.
        ssize_t n = read(fd, stale, sizeof stale);
        if (n <= 0) return true;
        taken += n;
    }
    return true;
}

void reset_card() { ioctl(reader_fd, SCARD_IOC_RESET, 0); }

int failed_after_reset() {
    reset_card();
    return SCARD_FAILED;
}

}  // namespace

SCARD_API int SCARD_Open(void) {
    if (presence_fd < 0) presence_fd = open("/dev/scard_present", O_RDONLY);
    return presence_fd;
}

SCARD_API int SCARD_Init(void) {
    if (reader_fd == -1) reader_fd = open("/dev/scard", O_RDWR);
    return reader_fd;
}

SCARD_API int SCARD_Term(void) {
    if (reader_fd != -1) close(reader_fd);
    reader_fd = -1;
    return 0;
}

SCARD_API int SCARD_Close(int fd) {
    if (fd == -1 || fd != presence_fd) return SCARD_FAILED;
    close(presence_fd);
    presence_fd = -1;
    if (reader_fd != -1) SCARD_Term();
    return 0;
}

SCARD_API int SCARD_Status(int fd) {
    unsigned char event;
    if (fd == -1 || fd != presence_fd || !byte_within(presence_fd, 10, &event)) return SCARD_FAILED;
    if (event == '1') {
        if (SCARD_Init() < 0) return SCARD_FAILED;
        HD_CardInserted();
    } else {
        SCARD_Term();
        HD_CardRemoved();
    }
    return 0;
}

SCARD_API int HD_CheckCardPresence(void) {
    if (reader_fd == -1) return SCARD_FAILED;
    struct pollfd p = {reader_fd, POLLIN, 0};
    return poll(&p, 1, 1000) == 0 ? SCARD_NO_EVENT : SCARD_REFUSED;
}

SCARD_API int HD_GetUartParams(void* params) {
    return ioctl(reader_fd, SCARD_IOC_GET_PARAMS, params) < 0 ? SCARD_PARAMS_FAILED : 0;
}

SCARD_API int HD_SetUartParams(void* params) {
    if (reader_fd == -1) return SCARD_FAILED;
    if (ioctl(reader_fd, SCARD_IOC_PRESET_PARAMS, params) < 0 || ioctl(reader_fd, SCARD_IOC_RESET, 0) < 0)
        return SCARD_REFUSED;
    const unsigned char* p = static_cast<const unsigned char*>(params);
    unsigned char request[4] = {0xff, static_cast<unsigned char>(p[7] | 0x10),
                                static_cast<unsigned char>((p[0] << 4) | (p[1] & 0x0f)), 0};
    request[3] = request[0] ^ request[1] ^ request[2];
    if (!write_all(reader_fd, request, sizeof request)) return failed_after_reset();

    // A card that does not answer at all is a failed negotiation; one whose
    // answer cannot be read has gone away, and is left alone.
    unsigned char reply[6];
    if (!input_within(reader_fd, 5000)) return failed_after_reset();
    size_t n = 0;
    do {
        if (!read_byte(reader_fd, &reply[n])) return SCARD_FAILED;
    } while (++n < sizeof reply && input_within(reader_fd, 1000));
    if (n >= 5) return failed_after_reset();
    for (size_t i = 1; i < n; ++i)
        if (reply[i] != request[i]) return failed_after_reset();
    return ioctl(reader_fd, SCARD_IOC_SET_PARAMS, params) < 0 ? failed_after_reset() : 0;
}

SCARD_API int HD_ResetCard(unsigned char* atr_data, unsigned char* atr_length, unsigned char* second) {
    if (reader_fd == -1) return SCARD_FAILED;
    if (ioctl(reader_fd, SCARD_IOC_RESET, 0) < 0) return SCARD_REFUSED;
    atr.data = atr_buffer;
    if (ioctl(reader_fd, SCARD_IOC_GET_ATR, &atr) < 0) return SCARD_FAILED;
    *atr_length = atr.length;
    *second = atr.second;
    memcpy(atr_data, atr_buffer, atr.length);
    return 0;
}

SCARD_API int HD_CardioCommand(const unsigned char* command, int command_length, unsigned char* response,
                               int* response_length, int direction, int timeout) {
    if (reader_fd == -1 || command_length < 5 || !drain_stale(reader_fd)) return SCARD_FAILED;
    if (write(reader_fd, command, 5) != 5) {
        perror(" ");
        return SCARD_FAILED;
    }
    unsigned char procedure;
    if (!byte_within(reader_fd, 1000, &procedure)) return SCARD_FAILED;

    if (direction == 1) {
        *response_length = 2;
        if (command_length == 5) {
            response[0] = procedure;
            return byte_within(reader_fd, 1000, &response[1]) ? 0 : SCARD_FAILED;
        }
        if (!write_all(reader_fd, command + 5, command_length - 5)) return SCARD_FAILED;
        return byte_within(reader_fd, 1000, &response[0]) && byte_within(reader_fd, 1000, &response[1]) ? 0
                                                                                                        : SCARD_FAILED;
    }

    // Data from the card: the procedure byte is not part of it. What does
    // not fit is still taken, so the card's next answer starts in step; a
    // card that never stops is given up after a bounded amount.
    int wait = static_cast<unsigned short>(timeout) * 10;
    if (!input_within(reader_fd, wait)) return SCARD_FAILED;
    int stored = 0;
    long taken = 0;
    do {
        unsigned char byte;
        if (!read_byte(reader_fd, &byte)) return SCARD_FAILED;
        if (stored < SCARD_MAX_RESPONSE) response[stored++] = byte;
    } while (++taken < 65536 && input_within(reader_fd, wait));
    *response_length = stored;
    return taken > SCARD_MAX_RESPONSE ? SCARD_FAILED : 0;
}
