// LtpError.h: the one exception the LTP builders throw, for requests the format cannot hold.
#ifndef KRV_PLATFORM_PST_LTP_LTPERROR_H
#define KRV_PLATFORM_PST_LTP_LTPERROR_H

#include "pstformat/HexText.h"

#include <stdexcept>
#include <string>

namespace krv::pst {

// Raised for input no node can represent: a value of the wrong size for its type, a type
// the format has no storage for, duplicate property identifiers, a heap past its 65536
// blocks, more rows than the layout's row index can number. The builders are pure: when
// one throws, nothing has been written anywhere.
class LtpError : public std::runtime_error {
public:
    explicit LtpError(const std::string& what) : std::runtime_error(what) {}
};

// A property tag as the messages name it: 0x3001001F.
using pstformat::TagText;

} // namespace krv::pst

#endif
