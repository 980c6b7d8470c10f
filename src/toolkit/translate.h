// The player's language. Every text the game shows goes through Tr: the message id is the game's
// own Russian text (UTF-8), and the answer is its translation in the chosen catalogue, or the id
// itself when the language is Russian, unset, or the catalogue lacks it.
#pragma once

namespace toolkit {

// The text to show for `msgid`; the pointer stays valid for the program's life.
const char* Tr(const char* msgid);

}  // namespace toolkit
