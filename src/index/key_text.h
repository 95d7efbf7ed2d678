// The key of a name: the name with its capitals A to Z made small, all other
// bytes kept.
#pragma once

#include <string>
#include <string_view>

namespace catpack {

// The key of `name`: the name itself when it has no capital, else its
// lower-cased copy in `scratch`.
std::string_view keyOfName(std::string_view name, std::string& scratch);

}  // namespace catpack
