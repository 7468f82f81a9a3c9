// `vbox display ...`: the display SDK stand-in's state folder of the box
// ($VBOX_DIR/display): the display's state, scripted answers, the call log.
#include "console/console.h"
#include "display_state.h"

namespace console {

void words_display(Console& console) {
    console.add({"display", "[fail CALL STATUS [N]|pending PROP N|always|value PROP V...|clear|log [-c]]",
                 "the display SDK's state, scripted answers and call log",
                 [](Context& ctx, const std::vector<std::string>& words, std::string& out) {
                     int status = 2;
                     displaysdk::display_command(ctx.dir + "/display", words, out, status);
                     return status;
                 }});
}

}  // namespace console
