// The display SDK stand-in's state folder: what the display holds between
// runs, the script of scripted answers, and the log of the calls made.
//
//   DIR/state    the display: property values, mode, OSD settings
//   DIR/script   scripted answers, one a line:
//                  fail CALL STATUS [N]    CALL does nothing and answers STATUS,
//                                          the next N times (no N: every time)
//                  pending PROP N|always   reads of property PROP answer
//                                          RM_PENDING (7) N more times, or always
//   DIR/log      one line per call: "NAME ARGS -> STATUS", " (scripted)" when
//                the script answered; a run of equal lines is written once,
//                followed by "repeated N more times"
//   DIR/lock     taken (flock) by every call and every console command
//
// DIR is DISPLAY_SDK_DIR, else $VBOX_DIR/display (the virtual box's folder),
// else there is none: each program then starts from the defaults and
// nothing is kept or logged.
#pragma once

#include <stdint.h>

#include <string>
#include <string_view>
#include <vector>

namespace displaysdk {

// The folder the SDK of a program uses (see above); empty: none.
std::string state_dir();

// The OSD settings the SDK reads from the display context, in table order.
struct OsdField {
    const char* name;  // "0x14"; "rua+0x0c" for the byte in the instance record
    uint16_t offset;
    bool byte;         // an 8-bit field
    bool in_instance;  // at offset in the record the context's 0xC0 points to
};
constexpr size_t kOsdFieldCount = 22;
extern const OsdField kOsdFields[kOsdFieldCount];

struct DisplayState {
    uint32_t surface = 0x0A000000;       // property 6011 of scaler 0
    uint32_t display_ratio[2] = {4, 3};  // property 6055: route 0's aspect ratio
    uint32_t source_ratio[2] = {4, 3};   // property 6052
    uint32_t mode[2] = {0, 0};           // init_display: width, height (0: not set up)
    bool osd_set = false;                // init_display read the OSD settings
    uint32_t osd[kOsdFieldCount] = {};
    uint32_t osd_buffer[2] = {0, 0};  // create_osdbuf: width, height (0: none)
    int32_t layer_order = 0;          // ChangeLayerOrder (0: never called)
};

struct FailEntry {
    std::string call;
    int32_t status;
    int32_t count;  // < 0: every time
};
struct PendingEntry {
    uint32_t property;
    int32_t count;  // < 0: always
};
struct Script {
    std::vector<FailEntry> fail;
    std::vector<PendingEntry> pending;
};

// The calls of the SDK a script may answer.
bool is_call(std::string_view name);
// Properties the SDK knows, and how many 32-bit values each holds (0: unknown).
unsigned property_values(uint32_t property);

// Text forms of the files. A parse error names the line: "3: unknown setting 'x'".
std::string format_state(const DisplayState& state);
bool parse_state(std::string_view text, DisplayState& state, std::string& error);
std::string format_script(const Script& script);
bool parse_script(std::string_view text, Script& script, std::string& error);

// The state folder, locked from open() to the end of the object's life.
class StateFolder {
public:
    StateFolder() = default;
    ~StateFolder();
    StateFolder(const StateFolder&) = delete;
    StateFolder& operator=(const StateFolder&) = delete;

    // Creates the folder (its parent must exist), locks it and reads state
    // and script (missing files: the defaults). The error names the file.
    bool open(const std::string& dir, std::string& error);
    bool save_state(std::string& error) const;
    bool save_script(std::string& error) const;
    bool append_log(const std::string& text) const;
    std::string read_log() const;
    bool clear_log() const;

    DisplayState state;
    Script script;

private:
    bool save(const char* name, const std::string& text, std::string& error) const;
    std::string dir_;
    int lock_ = -1;
};

// Appends to the folder's log without taking its lock (one write).
bool append_log(const std::string& dir, const std::string& text);

// The console command "display ..." (words[0] == "display") on the folder:
//   display                        the display's state and the script
//   display fail CALL STATUS [N]   script CALL's answer (N times, else always)
//   display pending PROP N|always  script pending answers of a property read
//   display value PROP V...        set a property's value(s)
//   display clear                  drop the script
//   display log [-c]               print the call log (-c: and empty it)
// Returns false when the words are not a display command. out gets the
// reply; status 0, 1 (the folder failed) or 2 (usage).
bool display_command(const std::string& dir, const std::vector<std::string>& words, std::string& out, int& status);

}  // namespace displaysdk
