// `vbox card ...` (and `card reader MAJOR` in a boot script): the smart
// card in the board's reader, for trying the box's card library by hand.
#include "board/board.h"
#include "console.h"

namespace vbox {

void console_card(Console& console) {
    console.add({"card", "[insert|remove|atr HEX|none|pps MODE|reply APDU REPLY...|clear|log [-c]]",
                 "the smart card in the board's reader: the slot, its ATR, how it answers, the bytes exchanged",
                 [](ConsoleContext& ctx, const std::vector<std::string>& words, std::string& out) {
                     return board::card_command(ctx.board, words, out);
                 }});
}

}  // namespace vbox
