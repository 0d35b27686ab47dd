#pragma once

#include <string>
#include <string_view>

// The text with every C0 control byte but tab, DEL and every C1 control
// character (U+0080 to U+009F, or a stray byte 0x80 to 0x9F) replaced by
// "?": what a hub says is printed through this, so it cannot drive the
// terminal. Other UTF-8 passes unchanged.
std::string printable_text(std::string_view text);
