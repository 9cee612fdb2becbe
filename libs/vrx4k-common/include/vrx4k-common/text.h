// Reading the settings both camera libraries take from the environment.
#pragma once

#include <string>
#include <string_view>

namespace vrx4k {

// text without the white space around it.
std::string_view Trim(std::string_view text);
// text in ASCII lower case.
std::string Lower(std::string_view text);

} // namespace vrx4k
