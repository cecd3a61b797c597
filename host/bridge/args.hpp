// Reads a command's named JSON arguments into typed values. Every failure is
// the bridge's own argument error, raised before the command runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/bytes.hpp"
#include "core/json.hpp"
#include "core/result.hpp"

namespace zorvik::bridge {

class ArgReader {
 public:
  // `args` must outlive the reader. A null or absent argument object reads as {}.
  ArgReader(std::string_view command, const Json& args);

  [[nodiscard]] Result<std::string> string(std::string_view key) const;
  [[nodiscard]] Result<std::optional<std::string>> optString(std::string_view key) const;
  [[nodiscard]] Result<std::int64_t> integer(std::string_view key) const;
  [[nodiscard]] Result<std::optional<std::int64_t>> optInteger(std::string_view key) const;
  [[nodiscard]] Result<double> number(std::string_view key) const;
  [[nodiscard]] Result<std::optional<double>> optNumber(std::string_view key) const;
  [[nodiscard]] Result<bool> boolean(std::string_view key) const;
  [[nodiscard]] Result<std::optional<bool>> optBoolean(std::string_view key) const;
  // A JSON array of integers 0..255.
  [[nodiscard]] Result<Bytes> bytes(std::string_view key) const;
  // Any JSON value, absent or null reads as nullopt; for records parsed by the command.
  [[nodiscard]] std::optional<Json> optValue(std::string_view key) const;
  [[nodiscard]] Result<Json> value(std::string_view key) const;

  // The bridge's text for an argument that has the wrong shape.
  [[nodiscard]] Error invalid(std::string_view key, std::string_view why) const;

  [[nodiscard]] std::string_view command() const { return command_; }

 private:
  const Json* find(std::string_view key) const;
  Error missing(std::string_view key) const;

  std::string command_;
  const Json& args_;
};

// Name of a JSON value's type, as argument errors print it.
std::string_view jsonTypeName(const Json& value);

}  // namespace zorvik::bridge
