// Results of fallible host operations: a value or the system's own message.
#pragma once

#include <expected>
#include <string>
#include <utility>

namespace zorvik {

// Every failure that reaches the page is one user-facing message string.
using Error = std::string;

template <class T>
using Result = std::expected<T, Error>;

using Status = std::expected<void, Error>;

[[nodiscard]] inline std::unexpected<Error> fail(std::string message) {
  return std::unexpected<Error>(std::move(message));
}

// "<message>: <cause>" — the form every wrapped system error takes.
[[nodiscard]] inline std::unexpected<Error> failWith(std::string_view message,
                                                      std::string_view cause) {
  std::string text(message);
  text += cause;
  return std::unexpected<Error>(std::move(text));
}

}  // namespace zorvik
