// `loopback MAJOR` (in a boot script, or `vbox loopback MAJOR`): puts the
// board's loop-back device, served by the host, on a major, for checking
// the path such devices take.
#include <stdlib.h>
#include <string.h>

#include "board/board.h"
#include "console.h"

namespace vbox {

void console_loopback(Console& console) {
    console.add({"loopback", "MAJOR", "serve the board's loop-back device on a major",
                 [](ConsoleContext& ctx, const std::vector<std::string>& w, std::string& out) {
                     char* end = nullptr;
                     unsigned long major = w.size() == 2 ? strtoul(w[1].c_str(), &end, 0) : 0;
                     if (w.size() != 2 || *end || major == 0 || major > 254) {
                         out += "usage: loopback MAJOR\n";
                         return 2;
                     }
                     if (int r = ctx.board.add_loopback(static_cast<unsigned>(major)); r < 0) {
                         out += "loopback: " + std::string(strerror(-r)) + "\n";
                         return 1;
                     }
                     return 0;
                 }});
}

}  // namespace vbox
