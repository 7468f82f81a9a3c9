#include "console/console.h"

#include <stdio.h>

namespace console {

void Console::add(Command command) { commands_.push_back(std::move(command)); }

void Console::add_housekeeping(std::function<void(Context&)> fn) { housekeeping_.push_back(std::move(fn)); }

const Command* Console::find(const std::string& name) const {
    for (const auto& c : commands_)
        if (c.name == name) return &c;
    return nullptr;
}

std::string Console::usage() const {
    std::string out;
    char line[512];
    for (const auto& c : commands_) {
        if (c.help.empty()) continue;
        std::string head = c.name + (c.args.empty() ? "" : " ") + c.args;
        if (head.size() > 28)  // the help on a line of its own
            snprintf(line, sizeof line, "  %s\n  %-28s %s\n", head.c_str(), "", c.help.c_str());
        else snprintf(line, sizeof line, "  %-28s %s\n", head.c_str(), c.help.c_str());
        out += line;
    }
    return out;
}

void Console::housekeeping(Context& ctx) const {
    for (const auto& fn : housekeeping_) fn(ctx);
}

}  // namespace console
