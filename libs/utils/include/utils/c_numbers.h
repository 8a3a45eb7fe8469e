// Numbers read from text by the rules of the C library's atoi and atof in
// the "C" locale, whatever locale the process runs in, and without their
// undefined behaviour.
#pragma once

#include <string_view>

namespace vxu {

// atoi: leading C white space, an optional sign, then decimal digits up to
// the first other character; 0 when there are none. A value outside the int
// range saturates at INT_MIN / INT_MAX (the Windows C library's result)
// instead of being undefined.
int c_atoi(std::string_view text) noexcept;

// atof in the "C" locale: leading C white space, an optional sign, then the
// longest prefix that is a decimal or hexadecimal ("0x") floating-point
// number, "inf" or "nan"; '.' is always the decimal point. 0 when there is no
// number. Overflow gives +-HUGE_VAL, underflow +-0 or a subnormal, rounded as
// strtod rounds.
double c_atof(std::string_view text) noexcept;

}  // namespace vxu
