#include "display_state.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace displaysdk {

const OsdField kOsdFields[kOsdFieldCount] = {
    {"0x14", 0x14, false, false},   {"0x18", 0x18, false, false},   {"0x1c", 0x1c, false, false},
    {"0x20", 0x20, false, false},   {"0x24", 0x24, false, false},   {"0x28", 0x28, false, false},
    {"0x2c", 0x2c, false, false},   {"0x30", 0x30, false, false},   {"0x34", 0x34, true, false},
    {"0x38", 0x38, false, false},   {"0x3c", 0x3c, false, false},   {"0x40", 0x40, false, false},
    {"0x6c", 0x6c, false, false},   {"rua+0x0c", 0x0c, true, true}, {"0x108", 0x108, false, false},
    {"0x10c", 0x10c, false, false}, {"0x110", 0x110, false, false}, {"0x114", 0x114, false, false},
    {"0x140", 0x140, false, false}, {"0x144", 0x144, false, false}, {"0x148", 0x148, true, false},
    {"0x14c", 0x14c, false, false},
};

namespace {

const char* const kCalls[] = {
    "CreateRuaInstance",
    "initDisplayOptions",
    "init_display",
    "create_osdbuf",
    "RUAGetProperty",
    "ChangeLayerOrder",
    "RUACreateInstance",
    "DCCOpen",
    "DCCSetRouteDisplayAspectRatio",
    "DCCClose",
    "RUADestroyInstance",
};

std::vector<std::string_view> split(std::string_view line) {
    std::vector<std::string_view> words;
    size_t at = 0;
    while (at < line.size()) {
        size_t start = line.find_first_not_of(" \t\r", at);
        if (start == std::string_view::npos) break;
        size_t end = line.find_first_of(" \t\r", start);
        if (end == std::string_view::npos) end = line.size();
        words.push_back(line.substr(start, end - start));
        at = end;
    }
    return words;
}

// A decimal number within [min, max], nothing else in the word.
bool number(std::string_view word, long long min, long long max, long long& out) {
    if (word.empty() || word.size() > 20) return false;
    char buf[24];
    memcpy(buf, word.data(), word.size());
    buf[word.size()] = '\0';
    if (!(buf[0] == '-' || (buf[0] >= '0' && buf[0] <= '9'))) return false;
    char* end = nullptr;
    errno = 0;
    long long v = strtoll(buf, &end, 10);
    if (errno || *end || end == buf || v < min || v > max) return false;
    out = v;
    return true;
}

bool u32(std::string_view word, uint32_t& out) {
    long long v;
    if (!number(word, 0, UINT32_MAX, v)) return false;
    out = static_cast<uint32_t>(v);
    return true;
}

std::string quoted(std::string_view w) { return "'" + std::string(w.substr(0, 40)) + "'"; }

// Reads "KEY V1 ... Vn" into n values.
bool values(const std::vector<std::string_view>& w, uint32_t* out, size_t n, std::string& error) {
    if (w.size() != n + 1) {
        error = quoted(w[0]) + " takes " + std::to_string(n) + (n == 1 ? " value" : " values");
        return false;
    }
    for (size_t i = 0; i < n; ++i) {
        if (!u32(w[i + 1], out[i])) {
            error = "not a 32-bit number: " + quoted(w[i + 1]);
            return false;
        }
    }
    return true;
}

// Runs parse_line over each line of text; an error is prefixed with the line number.
template <typename F>
bool each_line(std::string_view text, std::string& error, F parse_line) {
    unsigned lineno = 0;
    for (size_t at = 0; at < text.size();) {
        size_t nl = text.find('\n', at);
        if (nl == std::string_view::npos) nl = text.size();
        auto w = split(text.substr(at, nl - at));
        ++lineno;
        at = nl + 1;
        if (w.empty() || w[0][0] == '#') continue;
        if (!parse_line(w, error)) {
            error = std::to_string(lineno) + ": " + error;
            return false;
        }
    }
    return true;
}

// "fail CALL STATUS [N]" or "pending PROP N|always", as words.
bool script_entry(const std::vector<std::string_view>& w, Script& script, std::string& error) {
    long long v;
    if (w[0] == "fail") {
        if (w.size() < 3 || w.size() > 4) {
            error = "usage: fail CALL STATUS [N]";
            return false;
        }
        if (!is_call(w[1])) {
            error = "unknown call " + quoted(w[1]);
            return false;
        }
        FailEntry e{std::string(w[1]), 0, -1};
        if (!number(w[2], INT32_MIN, INT32_MAX, v)) {
            error = "bad status " + quoted(w[2]);
            return false;
        }
        e.status = static_cast<int32_t>(v);
        if (w.size() == 4) {
            if (!number(w[3], 1, INT32_MAX, v)) {
                error = "bad count " + quoted(w[3]);
                return false;
            }
            e.count = static_cast<int32_t>(v);
        }
        for (auto& old : script.fail)
            if (old.call == e.call) {
                old = e;
                return true;
            }
        script.fail.push_back(e);
        return true;
    }
    if (w[0] == "pending") {
        if (w.size() != 3) {
            error = "usage: pending PROP N|always";
            return false;
        }
        PendingEntry e{0, -1};
        if (!u32(w[1], e.property) || !property_values(e.property)) {
            error = "unknown property " + quoted(w[1]);
            return false;
        }
        if (w[2] != "always") {
            if (!number(w[2], 0, INT32_MAX, v)) {
                error = "bad count " + quoted(w[2]);
                return false;
            }
            e.count = static_cast<int32_t>(v);
        }
        for (auto it = script.pending.begin(); it != script.pending.end(); ++it)
            if (it->property == e.property) {
                script.pending.erase(it);
                break;
            }
        if (e.count != 0) script.pending.push_back(e);
        return true;
    }
    error = "unknown entry " + quoted(w[0]);
    return false;
}

}  // namespace

std::string state_dir() {
    const char* dir = getenv("DISPLAY_SDK_DIR");
    if (dir && *dir) return dir;
    const char* box = getenv("VBOX_DIR");
    if (box && *box) return std::string(box) + "/display";
    return "";
}

bool is_call(std::string_view name) {
    for (const char* c : kCalls)
        if (name == c) return true;
    return false;
}

unsigned property_values(uint32_t property) {
    switch (property) {
    case 6011: return 1;
    case 6052:
    case 6055: return 2;
    default: return 0;
    }
}

std::string format_state(const DisplayState& s) {
    char line[64];
    std::string out;
    snprintf(line, sizeof line, "surface %u\n", s.surface);
    out += line;
    snprintf(line, sizeof line, "display_aspect %u %u\n", s.display_ratio[0], s.display_ratio[1]);
    out += line;
    snprintf(line, sizeof line, "source_aspect %u %u\n", s.source_ratio[0], s.source_ratio[1]);
    out += line;
    if (s.mode[0]) {
        snprintf(line, sizeof line, "mode %u %u\n", s.mode[0], s.mode[1]);
        out += line;
    }
    if (s.osd_set) {
        out += "osd";
        for (uint32_t v : s.osd) out += " " + std::to_string(v);
        out += "\n";
    }
    if (s.osd_buffer[0]) {
        snprintf(line, sizeof line, "osd_buffer %u %u\n", s.osd_buffer[0], s.osd_buffer[1]);
        out += line;
    }
    if (s.layer_order) {
        snprintf(line, sizeof line, "layer_order %d\n", s.layer_order);
        out += line;
    }
    return out;
}

bool parse_state(std::string_view text, DisplayState& state, std::string& error) {
    DisplayState s;
    bool ok = each_line(text, error, [&s](const std::vector<std::string_view>& w, std::string& err) {
        uint32_t order = 0;
        if (w[0] == "surface") return values(w, &s.surface, 1, err);
        if (w[0] == "display_aspect") return values(w, s.display_ratio, 2, err);
        if (w[0] == "source_aspect") return values(w, s.source_ratio, 2, err);
        if (w[0] == "mode") return values(w, s.mode, 2, err);
        if (w[0] == "osd_buffer") return values(w, s.osd_buffer, 2, err);
        if (w[0] == "osd") return (s.osd_set = values(w, s.osd, kOsdFieldCount, err));
        if (w[0] == "layer_order") {
            if (!values(w, &order, 1, err)) return false;
            s.layer_order = static_cast<int32_t>(order);
            return true;
        }
        err = "unknown setting " + quoted(w[0]);
        return false;
    });
    if (ok) state = s;
    return ok;
}

std::string format_script(const Script& script) {
    std::string out;
    for (const auto& e : script.fail) {
        out += "fail " + e.call + " " + std::to_string(e.status);
        if (e.count >= 0) out += " " + std::to_string(e.count);
        out += "\n";
    }
    for (const auto& e : script.pending)
        out += "pending " + std::to_string(e.property) + " " +
               (e.count < 0 ? std::string("always") : std::to_string(e.count)) + "\n";
    return out;
}

bool parse_script(std::string_view text, Script& script, std::string& error) {
    Script s;
    bool ok = each_line(text, error, [&s](const std::vector<std::string_view>& w, std::string& err) {
        return script_entry(w, s, err);
    });
    if (ok) script = s;
    return ok;
}

namespace {

// The whole file; false with errno when it can't be read (ENOENT: missing).
bool slurp(const std::string& path, std::string& out) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    out.clear();
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    int saved = errno;
    close(fd);
    errno = saved;
    return n == 0;
}

bool write_all(int fd, const std::string& text) {
    for (size_t at = 0; at < text.size();) {
        ssize_t n = write(fd, text.data() + at, text.size() - at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += static_cast<size_t>(n);
    }
    return true;
}

// Reads and parses a file of the folder; a missing one leaves the defaults.
template <typename T>
bool load(const std::string& path, T& into, bool (*parse)(std::string_view, T&, std::string&), std::string& error) {
    std::string text, why;
    if (!slurp(path, text)) {
        if (errno == ENOENT) return true;
        error = path + ": " + strerror(errno);
        return false;
    }
    if (parse(text, into, why)) return true;
    error = path + ":" + why;
    return false;
}

}  // namespace

StateFolder::~StateFolder() {
    if (lock_ >= 0) close(lock_);  // the lock goes with the descriptor
}

bool StateFolder::open(const std::string& dir, std::string& error) {
    dir_ = dir;
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        error = dir + ": " + strerror(errno);
        return false;
    }
    lock_ = ::open((dir + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock_ < 0 || flock(lock_, LOCK_EX) != 0) {
        error = dir + "/lock: " + strerror(errno);
        return false;
    }
    return load(dir + "/state", state, parse_state, error) && load(dir + "/script", script, parse_script, error);
}

// A new file renamed over the old: a reader sees one or the other, whole.
bool StateFolder::save(const char* name, const std::string& text, std::string& error) const {
    std::string path = dir_ + "/" + name, tmp = path + ".new";
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    bool ok = fd >= 0 && write_all(fd, text);
    if (fd >= 0 && close(fd) != 0) ok = false;
    if (ok && rename(tmp.c_str(), path.c_str()) == 0) return true;
    error = path + ": " + strerror(errno);
    unlink(tmp.c_str());
    return false;
}

bool StateFolder::save_state(std::string& error) const { return save("state", format_state(state), error); }
bool StateFolder::save_script(std::string& error) const { return save("script", format_script(script), error); }

bool StateFolder::append_log(const std::string& text) const { return displaysdk::append_log(dir_, text); }

bool append_log(const std::string& dir, const std::string& text) {
    int fd = ::open((dir + "/log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    bool ok = fd >= 0 && write_all(fd, text);
    if (fd >= 0) close(fd);
    return ok;
}

std::string StateFolder::read_log() const {
    std::string text;
    slurp(dir_ + "/log", text);
    return text;
}

bool StateFolder::clear_log() const { return truncate((dir_ + "/log").c_str(), 0) == 0 || errno == ENOENT; }

namespace {

std::string show(const StateFolder& f) {
    const DisplayState& s = f.state;
    char line[160];
    snprintf(line, sizeof line, "aspect ratio %u:%u (route 0), source %u:%u\n", s.display_ratio[0], s.display_ratio[1],
             s.source_ratio[0], s.source_ratio[1]);
    std::string out = line;
    if (!s.mode[0]) {
        out += "display not set up\n";
    } else {
        snprintf(line, sizeof line, "display %ux%u, ", s.mode[0], s.mode[1]);
        out += line;
        if (s.osd_buffer[0]) snprintf(line, sizeof line, "OSD buffer %ux%u, ", s.osd_buffer[0], s.osd_buffer[1]);
        else snprintf(line, sizeof line, "no OSD buffer, ");
        out += line;
        snprintf(line, sizeof line, "layer order %d, surface %u\n", s.layer_order, s.surface);
        out += line;
    }
    if (s.osd_set) {
        out += "OSD settings:";
        for (size_t i = 0; i < kOsdFieldCount; ++i)
            out += std::string(" ") + kOsdFields[i].name + "=" + std::to_string(s.osd[i]);
        out += "\n";
    }
    std::string script = format_script(f.script);
    for (size_t at = 0; at < script.size();) {
        size_t nl = script.find('\n', at);
        out += "script: " + script.substr(at, nl + 1 - at);
        at = nl + 1;
    }
    return out;
}

const char kUsage[] =
    "usage: display [fail CALL STATUS [N] | pending PROP N|always | value PROP V... | clear | log [-c]]\n";

}  // namespace

bool display_command(const std::string& dir, const std::vector<std::string>& words, std::string& out, int& status) {
    if (words.empty() || words[0] != "display") return false;
    std::vector<std::string_view> w(words.begin() + 1, words.end());
    status = 2;
    const std::string_view verb = w.empty() ? "" : w[0];
    bool known = verb.empty() || verb == "fail" || verb == "pending" || verb == "clear" || verb == "value" ||
                 (verb == "log" && (w.size() == 1 || (w.size() == 2 && w[1] == "-c")));
    if (!known || (verb == "clear" && w.size() != 1)) {
        out += kUsage;
        return true;
    }
    StateFolder f;
    std::string error;
    if (!f.open(dir, error)) {
        out += "display: " + error + "\n";
        status = 1;
        return true;
    }
    bool save_script = false, save_state = false;
    if (verb.empty()) {
        out += show(f);
    } else if (verb == "log") {
        out += f.read_log();
        if (w.size() == 2 && !f.clear_log()) {
            out += "display: " + dir + "/log: " + strerror(errno) + "\n";
            status = 1;
            return true;
        }
    } else if (verb == "clear") {
        f.script = Script{};
        save_script = true;
    } else if (verb == "value") {
        uint32_t prop = 0, v[2] = {0, 0};
        unsigned n = w.size() >= 2 && u32(w[1], prop) ? property_values(prop) : 0;
        if (!n) {
            out += "display: unknown property" + (w.size() >= 2 ? " " + quoted(w[1]) : std::string()) + "\n";
            return true;
        }
        std::vector<std::string_view> vw(w.begin() + 1, w.end());
        if (!values(vw, v, n, error)) {
            out += "display: " + error + "\n";
            return true;
        }
        uint32_t* dest = prop == 6011 ? &f.state.surface : prop == 6055 ? f.state.display_ratio : f.state.source_ratio;
        for (unsigned i = 0; i < n; ++i) dest[i] = v[i];
        save_state = true;
    } else if (!script_entry(w, f.script, error)) {
        out += "display: " + error + "\n";
        return true;
    } else {
        save_script = true;
    }
    if ((save_script && !f.save_script(error)) || (save_state && !f.save_state(error))) {
        out += "display: " + error + "\n";
        status = 1;
        return true;
    }
    status = 0;
    return true;
}

}  // namespace displaysdk
