#include "board/smartcard.h"

#include "board/board.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace board {

namespace {

constexpr unsigned POLLIN_ = 0x0001, POLLOUT_ = 0x0004, POLLHUP_ = 0x0010, POLLRDNORM_ = 0x0040, POLLWRNORM_ = 0x0100;
constexpr size_t write_limit = 4096;  // bytes taken per write
constexpr size_t event_limit = 256;   // presence events kept for a file that never reads

std::string hex(const uint8_t* p, size_t n) {
    std::string s;
    char b[4];
    for (size_t i = 0; i < n; ++i) {
        snprintf(b, sizeof b, i ? " %02X" : "%02X", p[i]);
        s += b;
    }
    return s;
}

std::string hex(const std::vector<uint8_t>& v) { return hex(v.data(), v.size()); }

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool append_hex(const std::string& word, std::vector<uint8_t>& out) {
    if (word.empty() || word.size() % 2) return false;
    for (size_t i = 0; i < word.size(); i += 2) {
        int hi = hex_digit(word[i]), lo = hex_digit(word[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<uint8_t>(hi << 4 | lo));
    }
    return true;
}

size_t byte_count(const CardScript& script) {
    size_t n = 0;
    for (const auto& s : script) n += s.kind == CardStep::bytes ? s.data.size() : 0;
    return n;
}

bool is_mute(const CardScript& script) { return script.size() == 1 && script[0].kind == CardStep::mute; }

// The card's first protocol: T of TD1, T=0 when the ATR has no TD1.
uint8_t first_protocol(const std::vector<uint8_t>& atr) {
    if (atr.size() < 2) return 0;
    unsigned y = atr[1] >> 4;
    size_t at = 2 + (y & 1) + (y >> 1 & 1) + (y >> 2 & 1);
    return (y & 8) && at < atr.size() ? atr[at] & 0x0f : 0;
}

// Fi and Di indices with a value in ISO/IEC 7816-3; T=0 or T=1.
bool valid(const CardReader::Params& p) {
    static const bool fi[16] = {1, 1, 1, 1, 1, 1, 1, 0, 0, 1, 1, 1, 1, 1, 0, 0};
    return p.f < 16 && fi[p.f] && p.d >= 1 && p.d <= 9 && p.t <= 1;
}

std::string describe(const CardReader::Params& p) {
    char b[80];
    snprintf(b, sizeof b, "F=%u D=%u N=%u WI=%u T=%u", p.f, p.d, p.n, p.wi, p.t);
    return b;
}

}  // namespace

bool parse_hex(const std::vector<std::string>& words, size_t from, std::vector<uint8_t>& out) {
    out.clear();
    for (size_t i = from; i < words.size(); ++i)
        if (!append_hex(words[i], out)) return false;
    return !out.empty();
}

bool parse_card_script(const std::vector<std::string>& words, size_t from, CardScript& out, std::string& error) {
    out.clear();
    for (size_t i = from; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w == "remove") {
            out.push_back({CardStep::remove, {}, 0});
        } else if (w == "silent") {
        } else if (w == "mute") {
            if (words.size() - from != 1) {
                error = "mute stands alone";
                return false;
            }
            out.push_back({CardStep::mute, {}, 0});
        } else if (w[0] == '+') {
            char* end = nullptr;
            unsigned long ms = strtoul(w.c_str() + 1, &end, 10);
            if (w.size() < 2 || *end || ms > 60000 || !isdigit(static_cast<unsigned char>(w[1]))) {
                error = "a pause is +MS, up to +60000";
                return false;
            }
            out.push_back({CardStep::pause, {}, static_cast<unsigned>(ms)});
        } else {
            if (out.empty() || out.back().kind != CardStep::bytes) out.push_back({CardStep::bytes, {}, 0});
            if (!append_hex(w, out.back().data)) {
                error = "'" + w + "' is neither hex bytes nor +MS, remove, silent or mute";
                return false;
            }
        }
    }
    return true;
}

// ---- The card ----

const std::vector<uint8_t> SmartCard::default_atr = {0x3B, 0x94, 0x11, 0x00, 0x53, 0x54, 0x42, 0x31};

void SmartCard::set_reply(const std::vector<uint8_t>& apdu, const CardScript& reply) {
    for (auto& r : replies_)
        if (r.apdu == apdu) {
            r.script = reply;
            return;
        }
    replies_.push_back({apdu, reply});
}

void SmartCard::reset() {
    power_off();
    powered_ = true;
}

void SmartCard::power_off() {
    powered_ = false;
    first_ = true;
    phase_ = Phase::header;
    in_.clear();
    f_ = d_ = 1;
}

void SmartCard::receive(uint8_t byte, CardScript& out) {
    in_.push_back(byte);
    switch (phase_) {
    case Phase::header:
        if (first_ && in_.size() == 1 && byte == 0xff) {
            phase_ = Phase::pps;
            return;
        }
        first_ = false;
        if (in_.size() == 5) answer_header(out);
        return;
    case Phase::pps:
        // PPSS, PPS0, PPS1 to PPS3 as PPS0 announces them, PCK.
        if (in_.size() == 2) want_ = 3 + (byte >> 4 & 1) + (byte >> 5 & 1) + (byte >> 6 & 1);
        else if (in_.size() == want_) answer_pps(out);
        return;
    case Phase::data:
        if (in_.size() == 5 + want_) answer_data(out);
        return;
    }
}

void SmartCard::answer_pps(CardScript& out) {
    uint8_t check = 0;
    for (uint8_t b : in_) check ^= b;
    if (check == 0) {
        uint8_t pps0 = in_[1] & 0x0f;
        switch (pps) {
        case Pps::echo:
            out.push_back({CardStep::bytes, in_, 0});
            if (in_[1] & 0x10) {
                f_ = in_[2] >> 4;
                d_ = in_[2] & 0x0f;
            }
            break;
        case Pps::refuse: out.push_back({CardStep::bytes, {0xff, pps0, static_cast<uint8_t>(0xff ^ pps0)}, 0}); break;
        case Pps::silent: break;
        case Pps::lone_ff: out.push_back({CardStep::bytes, {0xff}, 0}); break;
        case Pps::scripted: out.insert(out.end(), pps_reply.begin(), pps_reply.end()); break;
        }
    }
    first_ = false;
    phase_ = Phase::header;
    in_.clear();
}

void SmartCard::answer_header(CardScript& out) {
    const Reply* alone = nullptr;
    for (const auto& r : replies_) {
        if (!std::equal(in_.begin(), in_.end(), r.apdu.begin())) continue;
        if (r.apdu.size() > 5) {
            // Data to come: acknowledged with INS, then P3 bytes.
            out.push_back({CardStep::bytes, {in_[1]}, 0});
            phase_ = Phase::data;
            want_ = in_[4];
            if (want_ == 0) answer_data(out);
            return;
        }
        alone = &r;
    }
    if (!alone) {
        out.push_back({CardStep::bytes, {0x6d, 0x00}, 0});
    } else if (!is_mute(alone->script)) {
        if (byte_count(alone->script) != 2) out.push_back({CardStep::bytes, {in_[1]}, 0});
        out.insert(out.end(), alone->script.begin(), alone->script.end());
    }
    in_.clear();
}

void SmartCard::answer_data(CardScript& out) {
    const Reply* found = nullptr;
    for (const auto& r : replies_)
        if (r.apdu == in_) found = &r;
    if (!found) out.push_back({CardStep::bytes, {0x6a, 0x80}, 0});
    else if (!is_mute(found->script)) out.insert(out.end(), found->script.begin(), found->script.end());
    phase_ = Phase::header;
    in_.clear();
}

// ---- The reader ----

CardReader::CardReader(kplat::Kernel& kernel) : kernel_(kernel), ready_(kernel), pause_(kernel, [this] { play(); }) {}

// Files still open once the major is gone never reach the device again.
CardReader::~CardReader() {
    for (OpenFile* f : files_) delete f;
}

void CardReader::note(std::string line) {
    log_.push_back(std::move(line));
    if (log_.size() > log_limit) log_.pop_front();
}

bool CardReader::insert() {
    bool done = false;
    kernel_.atomically([&] {
        if (inserted_) return;
        inserted_ = done = true;
        note("inserted");
        to_presence('1');
        ready_.wake();
    });
    return done;
}

bool CardReader::remove() {
    bool done = false;
    kernel_.atomically([&] {
        if (!inserted_) return;
        take_out();
        done = true;
    });
    return done;
}

bool CardReader::inserted() {
    bool in = false;
    kernel_.atomically([&] { in = inserted_; });
    return in;
}

void CardReader::with_card(const std::function<void(SmartCard&)>& fn) {
    kernel_.atomically([&] { fn(card_); });
}

std::vector<std::string> CardReader::log() {
    std::vector<std::string> out;
    kernel_.atomically([&] { out.assign(log_.begin(), log_.end()); });
    return out;
}

void CardReader::clear_log() {
    kernel_.atomically([&] { log_.clear(); });
}

CardReader::Params CardReader::params() {
    Params p;
    kernel_.atomically([&] { p = params_; });
    return p;
}

std::string CardReader::status() {
    std::string s;
    kernel_.atomically([&] {
        char b[96];
        if (!inserted_) s += "card: out\n";
        else if (!card_.powered()) s += "card: in, not reset\n";
        else {
            snprintf(b, sizeof b, "card: in, running at F=%u D=%u\n", card_.f(), card_.d());
            s += b;
        }
        s += "answer to reset: " + (card_.atr.empty() ? std::string("none") : hex(card_.atr)) + "\n";
        static const char* const modes[] = {"echo", "refuse", "silent", "short", "scripted"};
        s += std::string("pps: ") + modes[static_cast<int>(card_.pps)] + "\n";
        s += "replies: " + std::to_string(card_.replies()) + "\n";
        unsigned readers = 0, watchers = 0;
        for (OpenFile* f : files_) ++(f->minor == reader_minor ? readers : watchers);
        snprintf(b, sizeof b, "reader: %s; open: /dev/scard %u, /dev/scard_present %u\n", describe(params_).c_str(),
                 readers, watchers);
        s += b;
    });
    return s;
}

void CardReader::to_presence(uint8_t event) {
    for (OpenFile* f : files_)
        if (f->minor == presence_minor) {
            f->pending.push_back(event);
            if (f->pending.size() > event_limit) f->pending.pop_front();
        }
}

void CardReader::take_out() {
    inserted_ = false;
    card_.power_off();
    answer_.clear();
    pause_.stop();
    atr_valid_ = false;
    for (OpenFile* f : files_)
        if (f->minor == reader_minor && !f->hung) {
            f->hung = true;
            f->pending = rx_;
        }
    rx_.clear();
    note("removed");
    to_presence('0');
    ready_.wake();
}

// The card's answer goes out up to its next pause; the pause's timer
// carries on from there.
void CardReader::play() {
    bool sent = false;
    while (!answer_.empty()) {
        CardStep step = std::move(answer_.front());
        answer_.pop_front();
        if (step.kind == CardStep::bytes && !step.data.empty()) {
            rx_.insert(rx_.end(), step.data.begin(), step.data.end());
            note("< " + hex(step.data));
            sent = true;
        } else if (step.kind == CardStep::pause && step.ms) {
            note("pause " + std::to_string(step.ms) + " ms");
            pause_.start((step.ms + 9) / 10);
            break;
        } else if (step.kind == CardStep::remove) {
            take_out();
            return;
        }
    }
    if (sent) ready_.wake();
}

int CardReader::open(kplat::File& file) {
    if (file.minor() != reader_minor && file.minor() != presence_minor) return -ENODEV;
    auto* f = new OpenFile{file.minor(), false, {}};
    if (f->minor == presence_minor && inserted_) f->pending.push_back('1');
    files_.insert(f);
    file.data = f;
    return 0;
}

int CardReader::release(kplat::File& file) {
    auto* f = static_cast<OpenFile*>(file.data);
    files_.erase(f);
    delete f;
    return 0;
}

long CardReader::read(kplat::File& file, unsigned long buf, unsigned long count) {
    auto& f = *static_cast<OpenFile*>(file.data);
    std::deque<uint8_t>& q = f.minor == presence_minor || f.hung ? f.pending : rx_;
    if (long r = ready_.wait(file, [&] { return !q.empty() || f.hung; })) return r;
    if (q.empty()) return 0;  // hung up
    std::vector<uint8_t> out(q.begin(), q.begin() + std::min<size_t>(count, q.size()));
    if (!file.copy_to_user(buf, out.data(), out.size())) return -EFAULT;
    q.erase(q.begin(), q.begin() + out.size());
    return static_cast<long>(out.size());
}

long CardReader::write(kplat::File& file, unsigned long buf, unsigned long count) {
    auto& f = *static_cast<OpenFile*>(file.data);
    if (f.minor == presence_minor) return -EINVAL;
    if (f.hung || !inserted_) return -EIO;
    std::vector<uint8_t> in(std::min<size_t>(count, write_limit));
    if (!file.copy_from_user(in.data(), buf, in.size())) return -EFAULT;
    note("> " + hex(in));
    if (!card_.powered()) {
        note("  not understood: the card has not been reset");
    } else if (params_.f != card_.f() || params_.d != card_.d()) {
        char b[96];
        snprintf(b, sizeof b, "  not understood: the reader runs at F=%u D=%u, the card at F=%u D=%u", params_.f,
                 params_.d, card_.f(), card_.d());
        note(b);
    } else {
        bool idle = answer_.empty() && !pause_.pending();
        CardScript out;
        for (uint8_t b : in) card_.receive(b, out);
        answer_.insert(answer_.end(), out.begin(), out.end());
        if (idle) play();
    }
    return static_cast<long>(in.size());
}

unsigned CardReader::poll(kplat::File& file, kplat::PollTable& table) {
    auto& f = *static_cast<OpenFile*>(file.data);
    table.wait(ready_);
    if (f.minor == presence_minor) return f.pending.empty() ? 0 : POLLIN_ | POLLRDNORM_;
    if (f.hung) return POLLIN_ | POLLRDNORM_ | POLLHUP_;
    return (rx_.empty() ? 0 : POLLIN_ | POLLRDNORM_) | (inserted_ ? POLLOUT_ | POLLWRNORM_ : 0);
}

long CardReader::ioctl(kplat::File& file, unsigned cmd, unsigned long arg) {
    auto& f = *static_cast<OpenFile*>(file.data);
    if (f.minor == presence_minor) return -ENOTTY;
    return card_request(f, file, cmd, arg);
}

long CardReader::card_request(OpenFile& f, kplat::File& file, unsigned cmd, unsigned long arg) {
    bool card = inserted_ && !f.hung;
    switch (cmd) {
    case RESET:
        if (!card) {
            note("reset refused: no card");
            return -ENXIO;
        }
        rx_.clear();
        answer_.clear();
        pause_.stop();
        card_.reset();
        params_ = preset_;
        params_.f = params_.d = 1;
        atr_ = card_.atr;
        atr_valid_ = !atr_.empty();
        note(atr_valid_ ? "reset: " + hex(atr_) : "reset: no answer");
        return 0;
    case GET_ATR: {
        if (!card || !atr_valid_) return -EIO;
        kplat::RecordLayout record(file.abi(),
                                   {kplat::RecordLayout::u8, kplat::RecordLayout::u8, kplat::RecordLayout::pointer});
        uint8_t r[16];
        if (!file.copy_from_user(r, arg, record.size()) ||
            !file.copy_to_user(record.get(r, 2), atr_.data(), atr_.size()))
            return -EFAULT;
        record.set(r, 0, atr_.size());
        record.set(r, 1, first_protocol(atr_));
        return file.copy_to_user(arg, r, record.size()) ? 0 : -EFAULT;
    }
    case GET_PARAMS: return file.copy_to_user(arg, &params_, sizeof params_) ? 0 : -EFAULT;
    case PRESET_PARAMS:
    case SET_PARAMS: {
        Params p;
        if (!file.copy_from_user(&p, arg, sizeof p)) return -EFAULT;
        // The D index is the low four bits of byte 1, as DI is of TA1 in
        // the ATR; the high four are not the reader's.
        p.d &= 0x0f;
        if (!valid(p)) return -EINVAL;
        if (cmd == PRESET_PARAMS) {
            preset_ = p;
            note("params handed over: " + describe(p));
            return 0;
        }
        if (!card) return -ENXIO;
        params_ = p;
        note("params applied: " + describe(p));
        return 0;
    }
    default: return -ENOTTY;
    }
}

// Served once the boot script asks (`card reader MAJOR`).
void fit_smartcard(Board& board) { board.fit(std::make_unique<CardReader>(board.kernel()), Placement()); }

}  // namespace board
