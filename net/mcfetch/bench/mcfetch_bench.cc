// The largest image the stream carries (61440 datagrams of 1420 bytes) sent
// in one pass over a namespace pair's veth at rising rates: the highest
// rate at which mcfetch stores every datagram, with and without courtesy
// calls, its time, CPU and peak memory; beside it Debian's udpcast moving
// the same file over the same pair. Prints a table. Needs root, udpcast and
// GNU time (scripts/setup bench).
//   mcfetch_bench [RATE...]      datagrams per second, rising (0: unpaced)
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "stream_session.h"

namespace {

using hostns::RunOptions;
using hostns::RunResult;

constexpr int kPackets = 61440;
constexpr int kPayload = 1420;
constexpr double kDatagramBytes = kPayload + 16;
const char kTimeFormat[] = "TIME %e %U %S %M";

double now() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct Usage {
    double elapsed = 0, user = 0, sys = 0;
    long rss_kb = 0;
    bool ok = false;
};

// GNU time's line at the end of the program's standard error.
Usage usage_of(const RunResult& r) {
    Usage u;
    auto at = r.err.rfind("TIME ");
    if (at != std::string::npos)
        u.ok = sscanf(r.err.c_str() + at, "TIME %lf %lf %lf %ld", &u.elapsed, &u.user, &u.sys, &u.rss_kb) == 4;
    return u;
}

// The head-end is another machine and the box runs nothing else while it
// upgrades: here both ends share the host, so both run at the top priority.
RunOptions high_priority(int timeout_ms) {
    RunOptions o;
    o.timeout_ms = timeout_ms;
    o.before_exec = []() { setpriority(PRIO_PROCESS, 0, -20); };
    return o;
}

std::vector<std::string> timed(std::vector<std::string> argv) {
    argv.insert(argv.begin(), {"/usr/bin/time", "-f", kTimeFormat});
    return argv;
}

struct Trial {
    bool complete = false;
    double sent_rate = 0;  // datagrams per second the sender achieved
    double total = 0;      // from the sender's start to the receiver's end
    Usage receiver, sender;
    long rcvbuf_dropped = 0;  // by the box's kernel, for a full socket buffer
};

// Datagrams the box's kernel dropped for a full socket buffer so far.
long rcvbuf_errors(const hostns::NetnsPair& pair) {
    std::string snmp = pair.run_box({"cat", "/proc/net/snmp"}).out;
    auto at = snmp.rfind("Udp: ");  // the counters' line comes after the names'
    long v[5] = {};
    if (at != std::string::npos) sscanf(snmp.c_str() + at, "Udp: %ld %ld %ld %ld %ld", v, v + 1, v + 2, v + 3, v + 4);
    return v[4];
}

Trial mcfetch_trial(mctest::StreamSession& s, const std::string& image, const std::string& in, const std::string& out,
                    double rate, bool courtesy) {
    unlink(out.c_str());
    // A run ended by its time limit lets go of the port a moment later.
    for (int i = 0; i < 100 && mctest::joined(s.pair(), "239.113.1.74"); ++i) usleep(50000);
    long dropped_before = rcvbuf_errors(s.pair());
    double seconds = rate > 0 ? kPackets / rate : 5;
    RunOptions o = high_priority(static_cast<int>((seconds * 1.3 + 8) * 1000) + 10000);
    std::vector<std::string> argv = {MCFETCH_BIN, "-f", out};
    if (courtesy) argv.push_back("-c");
    Trial t;
    if (!s.start_program(timed(argv), o, "239.113.1.74")) {
        fprintf(stderr, "mcfetch did not join: %s\n", s.finish().mcfetch.err.c_str());
        return t;
    }
    char mbit[32];
    snprintf(mbit, sizeof mbit, "%.3f", rate * kDatagramBytes * 8 / 1e6);
    double t0 = now();
    RunResult sent = s.pair().run_headend(timed({MCSEND_BIN, "-r", mbit, in}), high_priority(120000));
    auto at = sent.out.find(" Mbit/s, ");
    if (at != std::string::npos) t.sent_rate = atof(sent.out.c_str() + at + 9);
    mctest::Fetch f = s.finish();
    t.total = now() - t0;
    t.receiver = usage_of(f.mcfetch);
    t.sender = usage_of(sent);
    t.complete = f.mcfetch.status == 0 && hostns::read_file(out) == image;
    t.rcvbuf_dropped = rcvbuf_errors(s.pair()) - dropped_before;
    return t;
}

Trial udpcast_trial(mctest::StreamSession& s, const std::string& image, const std::string& in, const std::string& out) {
    unlink(out.c_str());
    Trial t;
    s.start_program(timed({"udp-receiver", "--file", out, "--nokbd", "--interface", "eth0", "--portbase", "9000",
                           // the pair's addresses have no broadcast address to meet on
                           "--mcast-rdv-address", "224.0.0.1"}),
                    high_priority(120000), "");
    usleep(300000);
    double t0 = now();
    RunOptions so;
    so.timeout_ms = 120000;
    RunResult sent =
        s.pair().run_headend(timed({"udp-sender", "--file", in, "--nokbd", "--interface", "eth0", "--min-receivers",
                                    "1", "--portbase", "9000", "--mcast-rdv-address", "224.0.0.1"}),
                             so);
    mctest::Fetch f = s.finish();
    t.total = now() - t0;
    t.receiver = usage_of(f.mcfetch);
    t.sender = usage_of(sent);
    t.complete = f.mcfetch.status == 0 && hostns::read_file(out) == image;
    return t;
}

void row(const char* what, const Trial& t) {
    if (t.sent_rate > 0) printf("%-26s sent at %.0f/s\n", "", t.sent_rate);
    printf("%-26s %-10s %7.2f s  recv %5.2f s elapsed, %5.2f+%5.2f s CPU, %6ld KiB peak; sender %5.2f s CPU\n", what,
           t.complete ? "complete" : "LOSS", t.total, t.receiver.elapsed, t.receiver.user, t.receiver.sys,
           t.receiver.rss_kb, t.sender.user + t.sender.sys);
    fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (!hostns::netns_available()) {
        fprintf(stderr, "mcfetch_bench: needs root and ip netns\n");
        return 1;
    }
    std::vector<double> rates;
    for (int i = 1; i < argc; ++i) rates.push_back(atof(argv[i]));
    if (rates.empty()) rates = {8500, 12000, 17000, 20000, 25000, 30000, 40000, 50000, 0};

    mctest::StreamSession s;
    if (!s.pair().ok()) {
        fprintf(stderr, "mcfetch_bench: %s\n", s.pair().error().c_str());
        return 1;
    }
    s.raise_priority = true;  // as on the box
    // A session of its own (run-bench) whose group of processes gets the
    // CPU before other sessions', as the box's CPU is mcfetch's alone.
    if (FILE* f = fopen("/proc/self/autogroup", "w")) {
        fputs("-20", f);
        fclose(f);
    }
    std::string image(static_cast<size_t>(kPackets) * kPayload, '\0');
    std::mt19937 rng(1);
    for (auto& c : image) c = static_cast<char>(rng());
    std::string in = s.tmp().write("image", image), out = s.tmp().file("out");
    printf("image: %d datagrams of %d bytes (%zu bytes), one pass over a veth pair; receive buffer %s\n", kPackets,
           kPayload, image.size(), "131070 asked");

    for (bool courtesy : {false, true}) {
        printf("\nmcfetch%s:\n", courtesy ? " -c (courtesy script every 100 datagrams)" : "");
        double best = -1;
        for (double rate : rates) {
            Trial t = mcfetch_trial(s, image, in, out, rate, courtesy);
            if (!t.complete) t = mcfetch_trial(s, image, in, out, rate, courtesy);  // once more: the host is shared
            char what[64];
            if (rate > 0) snprintf(what, sizeof what, "%6.0f/s (%5.1f Mbit/s)", rate, rate * kDatagramBytes * 8 / 1e6);
            else snprintf(what, sizeof what, "unpaced");
            row(what, t);
            if (!t.complete) {
                printf("%26s %ld of %d dropped for a full socket buffer\n", "", t.rcvbuf_dropped, kPackets);
                break;
            }
            best = rate;
        }
        if (best > 0)
            printf("highest loss-free rate: %.0f datagrams/s (%.1f Mbit/s)\n", best, best * kDatagramBytes * 8 / 1e6);
        else if (best == 0) printf("highest loss-free rate: unpaced\n");
    }

    printf("\nudpcast (udp-sender/udp-receiver, their own flow control), same file, same pair:\n");
    row("udpcast", udpcast_trial(s, image, in, out));
    return 0;
}
