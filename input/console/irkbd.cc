// The remote control, the front panel, the keyboard and the mouse at the
// virtual box's console, through the board's micro-controller, and the
// input events that came of them:
//
//     vbox key KEY_1          the remote key that irkbd maps to KEY_1
//     vbox key 2              remote scancode 2
//     vbox panel 5            front-panel key 5
//     vbox type 'Hello'       keyboard frames in the micro-controller's layout,
//                             shift chords for capitals and shifted signs
//     vbox mouse 10 -5 1      motion (reported doubled) and buttons
//     vbox micro version 1 layout reversed     (at the next insmod irkbd)
//     vbox events             the input events, as evtest prints them
//
// Key names are found in irkbd's keymaps: the remote's scancode whose key
// code has that name, in the keymap of the micro-controller's version and
// layout.
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <utility>
#include <vector>

#include "board/micro.h"
#include "board/board.h"
#include "console/console.h"
#include "irkbd_keymaps.h"
#include "kplat/input.h"
#include "kplat/kernel.h"

namespace console {

namespace {

constexpr unsigned EV_KEY = 1;

using Keymap = std::vector<std::pair<int, int>>;  // scancode, key code

#define KEYMAP_PAIR(scancode, keycode) {scancode, keycode},
const Keymap remote_v0{REMOTE_C_PROV(KEYMAP_PAIR)};
const Keymap remote_normal{REMOTE_CR7(KEYMAP_PAIR)};
const Keymap remote_reversed{REMOTE_CR7_REVERSED(KEYMAP_PAIR)};
#undef KEYMAP_PAIR

const Keymap& remote_keymap(board::Micro& micro) {
    if (micro.version() == 0) return remote_v0;
    return micro.layout() == board::Micro::Layout::reversed ? remote_reversed : remote_normal;
}

bool number(const std::string& s, long lo, long hi, long& out) {
    char* end = nullptr;
    out = strtol(s.c_str(), &end, 0);
    return !s.empty() && !*end && out >= lo && out <= hi;
}

// The Linux name of a key code of the keymaps: codes from 128 up are the
// box's own keys (media, navigation, its power-type key), whatever Linux
// calls those numbers.
const char* linux_name(int keycode) {
    return keycode < 128 ? kplat::input_code_name(EV_KEY, static_cast<unsigned>(keycode)) : nullptr;
}

// The key code's name, with or without "KEY_", in any case.
bool name_is(int keycode, const std::string& name) {
    const char* n = linux_name(keycode);
    return n && (!strcasecmp(n, name.c_str()) || (!strncmp(n, "KEY_", 4) && !strcasecmp(n + 4, name.c_str())));
}

int key(Context& ctx, const std::vector<std::string>& w, std::string& out) {
    board::Micro& micro = ctx.board.model<board::Micro>();
    const Keymap& map = remote_keymap(micro);
    char line[96];
    if (w.size() == 1) {
        out += "scancode  key code  name\n";
        for (auto [scancode, keycode] : map) {
            const char* n = linux_name(keycode);
            snprintf(line, sizeof line, "%8d  %8d  %s\n", scancode, keycode, n ? n : "(the box's own)");
            out += line;
        }
        return 0;
    }
    if (w.size() != 2) {
        out += "usage: key NAME|SCANCODE\n";
        return 2;
    }
    long scancode;
    if (!number(w[1], 0, 255, scancode)) {
        scancode = -1;
        for (auto [s, keycode] : map)
            if (name_is(keycode, w[1])) {
                scancode = s;
                break;
            }
        if (scancode < 0) {
            out += "key: no remote key " + w[1] + " (vbox key lists them)\n";
            return 1;
        }
    }
    micro.press_remote(static_cast<uint8_t>(scancode));
    return 0;
}

int panel(Context& ctx, const std::vector<std::string>& w, std::string& out) {
    long code;
    if (w.size() != 2 || !number(w[1], 0, 255, code)) {
        out += "usage: panel N\n";
        return 2;
    }
    if (!ctx.board.model<board::Micro>().press_panel(static_cast<uint8_t>(code))) {
        out += "panel: this micro-controller sends no front-panel frames\n";
        return 1;
    }
    return 0;
}

// The key a character is typed with on the keyboard (the Linux key code
// of its key on a US keyboard), and whether it needs shift.
bool key_of(char c, int& keycode, bool& shift) {
    static const char letters[] = "qwertyuiopasdfghjklzxcvbnm";
    static const int letter_codes[] = {16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 30, 31, 32,
                                       33, 34, 35, 36, 37, 38, 44, 45, 46, 47, 48, 49, 50};
    static const char plain[] = "1234567890-=[]\\;'`,./ \n\t";
    static const char shifted[] = "!@#$%^&*()_+{}|:\"~<>?";
    static const int plain_codes[] = {2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13,
                                      26, 27, 43, 39, 40, 41, 51, 52, 53, 57, 28, 15};
    static const int shifted_codes[] = {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 26, 27, 43, 39, 40, 41, 51, 52, 53};
    shift = c >= 'A' && c <= 'Z';
    char lower = shift ? static_cast<char>(c - 'A' + 'a') : c;
    if (!c) return false;
    if (const char* p = strchr(letters, lower)) {
        keycode = letter_codes[p - letters];
    } else if (const char* q = strchr(plain, c)) {
        keycode = plain_codes[q - plain];
    } else if (const char* r = strchr(shifted, c)) {
        keycode = shifted_codes[r - shifted];
        shift = true;
    } else {
        return false;
    }
    return true;
}

constexpr int KEY_LEFTSHIFT = 42;

#define KEYMAP_PAIR(usage, keycode) {usage, keycode},
const Keymap keyboard_normal{KEYBOARD_R7(KEYMAP_PAIR)};
const Keymap keyboard_reversed{KEYBOARD_R7_REVERSED(KEYMAP_PAIR)};
#undef KEYMAP_PAIR

// The usage codes of the layout's keymap that give keycode.
std::vector<uint8_t> usages_of(const Keymap& map, int keycode) {
    std::vector<uint8_t> out;
    for (auto [usage, code] : map)
        if (code == keycode) out.push_back(static_cast<uint8_t>(usage));
    return out;
}

std::string shown(char c) {
    char b[8];
    snprintf(b, sizeof b, isprint(static_cast<unsigned char>(c)) ? "'%c'" : "\\x%02x", static_cast<unsigned char>(c));
    return b;
}

// The frame codes that type c in the layout: the key and, for a capital
// or a shifted sign, a shift key in either order, as one frame can carry
// them (the reversed layout's codes share bits with their neighbours).
// Empty, with the reason in why, when the layout cannot send it.
std::vector<uint8_t> codes_for(board::Micro::Layout layout, char c, std::string& why) {
    const char* name = layout == board::Micro::Layout::reversed ? "reversed" : "normal";
    const Keymap& map = layout == board::Micro::Layout::reversed ? keyboard_reversed : keyboard_normal;
    int keycode;
    bool shift;
    if (!key_of(c, keycode, shift)) {
        why = "no key for " + shown(c);
        return {};
    }
    std::vector<uint8_t> keys = usages_of(map, keycode);
    if (keys.empty()) {
        why = std::string("the ") + name + " layout has no key for " + shown(c);
        return {};
    }
    if (!shift) return {keys[0]};
    std::vector<uint8_t> shifts = usages_of(map, KEY_LEFTSHIFT);
    for (uint8_t k : keys)
        for (uint8_t s : shifts)
            for (auto chord : {std::vector<uint8_t>{k, s}, std::vector<uint8_t>{s, k}})
                if (board::Micro::key_frame(layout, chord)) return chord;
    why = std::string("the ") + name + " layout cannot send " + shown(c) + " (" +
          (shifts.empty() ? "no shift key" : "no frame carries its key with shift") + ")";
    return {};
}

int type(Context& ctx, const std::vector<std::string>& w, std::string& out) {
    if (w.size() < 2) {
        out += "usage: type TEXT\n";
        return 2;
    }
    std::string text = w[1];
    for (size_t i = 2; i < w.size(); ++i) text += " " + w[i];
    board::Micro& micro = ctx.board.model<board::Micro>();
    if (micro.version() == 0) {
        out += "type: this micro-controller sends no keyboard frames\n";
        return 1;
    }
    board::Micro::Layout layout = micro.layout();
    // The whole text is checked before a key is pressed: nothing half-typed.
    std::vector<std::vector<uint8_t>> frames;
    for (char c : text) {
        std::string why;
        frames.push_back(codes_for(layout, c, why));
        if (frames.back().empty()) {
            out += "type: " + why + "\n";
            return 1;
        }
    }
    for (const auto& f : frames)
        if (!micro.press_keys(f)) {
            out += "type: this micro-controller sends no keyboard frames\n";
            return 1;
        }
    return 0;
}

int mouse(Context& ctx, const std::vector<std::string>& w, std::string& out) {
    long dx, dy, buttons = 0;
    if (w.size() < 3 || w.size() > 4 || !number(w[1], -128, 127, dx) || !number(w[2], -128, 127, dy) ||
        (w.size() == 4 && !number(w[3], 0, 7, buttons))) {
        out += "usage: mouse DX DY [BUTTONS]   (DX, DY -128..127; BUTTONS 1 left, 2 right, 4 middle)\n";
        return 2;
    }
    if (!ctx.board.model<board::Micro>().move_mouse(static_cast<int>(dx), static_cast<int>(dy),
                                                    static_cast<uint8_t>(buttons))) {
        out += "mouse: this micro-controller sends no mouse frames\n";
        return 1;
    }
    return 0;
}

int micro(Context& ctx, const std::vector<std::string>& w, std::string& out) {
    board::Micro& m = ctx.board.model<board::Micro>();
    if (w.size() == 1) {
        char line[160];
        ctx.kernel.atomically([&] {
            snprintf(line, sizeof line,
                     "micro-controller at 0x32: version %u, %s layout\n"
                     "frames queued %zu, read %lu, empty reads %lu, version queries %lu\n",
                     m.version(), m.layout() == board::Micro::Layout::reversed ? "reversed" : "normal", m.queued(),
                     m.frames_read(), m.empty_reads(), m.version_queries());
            out += line;
            if (!m.reboot_timeouts().empty()) {
                snprintf(line, sizeof line, "reboot timeout %u s\n", m.reboot_timeouts().back());
                out += line;
            }
            out += std::string("activity LED (GPIO 14) ") +
                   (ctx.board.model<board::ActivityLed>().lit() ? "lit" : "dark") + "\n";
            if (ctx.board.gpio().output(27)) out += "GPIO 27 (USB over-current input) is an output of the SoC\n";
        });
        return 0;
    }
    long version = -1;
    int layout = -1;
    for (size_t i = 1; i < w.size(); i += 2) {
        bool ok = i + 1 < w.size();
        if (ok && w[i] == "version") ok = number(w[i + 1], 0, 2, version);
        else if (ok && w[i] == "layout" && (w[i + 1] == "normal" || w[i + 1] == "reversed"))
            layout = w[i + 1] == "reversed";
        else ok = false;
        if (!ok) {
            out += "usage: micro [version 0|1|2] [layout normal|reversed]\n";
            return 2;
        }
    }
    if (version >= 0) m.set_version(static_cast<uint8_t>(version));
    if (layout >= 0)
        ctx.kernel.atomically(
            [&] { m.set_layout(layout ? board::Micro::Layout::reversed : board::Micro::Layout::normal); });
    out += "(irkbd learns it at its next insmod)\n";
    return 0;
}

int events(Context& ctx, const std::vector<std::string>& w, std::string& out) {
    if (w.size() > 2 || (w.size() == 2 && w[1] != "-c")) {
        out += "usage: events [-c]\n";
        return 2;
    }
    for (const auto& e : kplat::input_events(ctx.kernel)) out += kplat::evtest_line(e) + "\n";
    if (w.size() == 2) kplat::clear_input_events(ctx.kernel);
    return 0;
}

}  // namespace

void words_irkbd(Console& console) {
    console.add({"key", "NAME|SCANCODE", "press a remote control key (no argument: the keymap)", key});
    console.add({"panel", "N", "press front-panel key N", panel});
    console.add({"type", "TEXT", "type on the keyboard", type});
    console.add({"mouse", "DX DY [BUTTONS]", "move the mouse, press its buttons", mouse});
    console.add({"micro", "[version 0|1|2] [layout normal|reversed]",
                 "the front-panel micro-controller: its state; what irkbd finds at its next insmod", micro});
    console.add({"events", "[-c]", "the input events, as evtest prints them (-c: then forget them)", events});
    // The models keep what they saw for inspection; a long-running box
    // keeps only the recent part.
    console.add_housekeeping([](Context& ctx) {
        ctx.kernel.atomically([&] {
            auto& m = ctx.board.model<board::Micro>();
            if (m.transfers().size() > 1024) m.clear_transfers();
            auto& led = ctx.board.model<board::ActivityLed>();
            if (led.history().size() > 1024) led.clear_history();
        });
    });
}

}  // namespace console
