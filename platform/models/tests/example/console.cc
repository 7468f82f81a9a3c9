// `vbox example`: the example chip's control register, as its driver left it.
#include <stdio.h>

#include "board/board.h"
#include "board/example.h"
#include "console/console.h"
#include "kplat/kernel.h"

namespace console {

void words_example(Console& console) {
    console.add({"example", "", "the example chip: its control register",
                 [](Context& ctx, const std::vector<std::string>& w, std::string& out) {
                     if (w.size() != 1) {
                         out += "usage: example\n";
                         return 2;
                     }
                     uint32_t control = 0;
                     ctx.kernel.atomically([&] { control = ctx.board.model<board::ExampleChip>().control(); });
                     char line[64];
                     snprintf(line, sizeof line, "example chip: control 0x%x\n", control);
                     out += line;
                     return 0;
                 }});
}

}  // namespace console
