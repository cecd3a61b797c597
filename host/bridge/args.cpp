#include "bridge/args.hpp"

#include <cmath>
#include <limits>

namespace zorvik::bridge {

namespace {
const Json kEmptyObject = Json::object();
}

std::string_view jsonTypeName(const Json& value) {
  switch (value.type()) {
    case Json::value_t::null: return "null";
    case Json::value_t::boolean: return "boolean";
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned: return "integer";
    case Json::value_t::number_float: return "number";
    case Json::value_t::string: return "string";
    case Json::value_t::array: return "array";
    case Json::value_t::object: return "object";
    default: return "value";
  }
}

ArgReader::ArgReader(std::string_view command, const Json& args)
    : command_(command), args_(args.is_object() ? args : kEmptyObject) {}

const Json* ArgReader::find(std::string_view key) const {
  auto it = args_.find(key);
  if (it == args_.end() || it->is_null()) return nullptr;
  return &*it;
}

Error ArgReader::invalid(std::string_view key, std::string_view why) const {
  return "invalid args `" + std::string(key) + "` for command `" + command_ + "`: " + std::string(why);
}

Error ArgReader::missing(std::string_view key) const {
  return invalid(key, "command " + command_ + " missing required key " + std::string(key));
}

namespace {
std::string expected(std::string_view want, const Json& got) {
  return "invalid type: " + std::string(jsonTypeName(got)) + ", expected " + std::string(want);
}
}  // namespace

Result<std::optional<std::string>> ArgReader::optString(std::string_view key) const {
  const Json* v = find(key);
  if (!v) return std::optional<std::string>{};
  if (!v->is_string()) return fail(invalid(key, expected("a string", *v)));
  return std::optional<std::string>{v->get<std::string>()};
}

Result<std::string> ArgReader::string(std::string_view key) const {
  auto v = optString(key);
  if (!v) return fail(v.error());
  if (!*v) return fail(missing(key));
  return std::move(**v);
}

Result<std::optional<std::int64_t>> ArgReader::optInteger(std::string_view key) const {
  const Json* v = find(key);
  if (!v) return std::optional<std::int64_t>{};
  if (v->is_number_integer()) return std::optional<std::int64_t>{v->get<std::int64_t>()};
  if (v->is_number_unsigned()) {
    auto u = v->get<std::uint64_t>();
    if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
      return fail(invalid(key, "integer out of range"));
    return std::optional<std::int64_t>{static_cast<std::int64_t>(u)};
  }
  if (v->is_number_float()) {
    double d = v->get<double>();
    // JavaScript has one number type: 3.0 arrives as a float and is still an integer.
    if (std::isfinite(d) && std::floor(d) == d && std::fabs(d) < 9.0e15)
      return std::optional<std::int64_t>{static_cast<std::int64_t>(d)};
  }
  return fail(invalid(key, expected("an integer", *v)));
}

Result<std::int64_t> ArgReader::integer(std::string_view key) const {
  auto v = optInteger(key);
  if (!v) return fail(v.error());
  if (!*v) return fail(missing(key));
  return **v;
}

Result<std::optional<double>> ArgReader::optNumber(std::string_view key) const {
  const Json* v = find(key);
  if (!v) return std::optional<double>{};
  if (!v->is_number()) return fail(invalid(key, expected("a number", *v)));
  return std::optional<double>{v->get<double>()};
}

Result<double> ArgReader::number(std::string_view key) const {
  auto v = optNumber(key);
  if (!v) return fail(v.error());
  if (!*v) return fail(missing(key));
  return **v;
}

Result<std::optional<bool>> ArgReader::optBoolean(std::string_view key) const {
  const Json* v = find(key);
  if (!v) return std::optional<bool>{};
  if (!v->is_boolean()) return fail(invalid(key, expected("a boolean", *v)));
  return std::optional<bool>{v->get<bool>()};
}

Result<bool> ArgReader::boolean(std::string_view key) const {
  auto v = optBoolean(key);
  if (!v) return fail(v.error());
  if (!*v) return fail(missing(key));
  return **v;
}

Result<Bytes> ArgReader::bytes(std::string_view key) const {
  const Json* v = find(key);
  if (!v) return fail(missing(key));
  if (!v->is_array()) return fail(invalid(key, expected("an array of bytes", *v)));
  Bytes out;
  out.reserve(v->size());
  for (const Json& item : *v) {
    if (!item.is_number_integer() && !item.is_number_unsigned())
      return fail(invalid(key, expected("a byte (0..255)", item)));
    auto n = item.get<std::int64_t>();
    if (n < 0 || n > 255) return fail(invalid(key, "invalid value: " + std::to_string(n) + ", expected a byte (0..255)"));
    out.push_back(static_cast<std::uint8_t>(n));
  }
  return out;
}

std::optional<Json> ArgReader::optValue(std::string_view key) const {
  const Json* v = find(key);
  if (!v) return std::nullopt;
  return *v;
}

Result<Json> ArgReader::value(std::string_view key) const {
  const Json* v = find(key);
  if (!v) return fail(missing(key));
  return *v;
}

}  // namespace zorvik::bridge
