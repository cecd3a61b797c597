// Text of an OS error, without the locale-dependent noise of strerror_r variants.
#pragma once

#include <string>
#include <system_error>

namespace zorvik {

inline std::string errnoText(int err) { return std::generic_category().message(err); }

inline std::string errorText(const std::error_code& ec) { return ec.message(); }

}  // namespace zorvik
