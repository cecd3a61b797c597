#include "printing/label_format.hpp"

#include <cmath>
#include <limits>

#include "printing/pdf_fit_qpdf.hpp"

namespace zorvik::printing {

namespace {

// Reads the fields of one format object; `why` texts follow the bridge's own.
class FieldReader {
 public:
  FieldReader(const bridge::ArgReader& reader, std::string_view key, const Json& object)
      : reader_(reader), key_(key), object_(object) {}

  Result<std::optional<double>> number(std::string_view field, bool required) const {
    const Json* v = find(field);
    if (!v) {
      if (required) return fail(reader_.invalid(key_, "missing field `" + std::string(field) + "`"));
      return std::optional<double>{};
    }
    if (!v->is_number()) return fail(wrongType(field, *v, "a number"));
    return std::optional<double>{v->get<double>()};
  }

  Result<std::optional<std::int64_t>> integer(std::string_view field) const {
    const Json* v = find(field);
    if (!v) return std::optional<std::int64_t>{};
    if (v->is_number_integer()) return std::optional<std::int64_t>{v->get<std::int64_t>()};
    if (v->is_number_unsigned()) {
      if (v->get<std::uint64_t>() <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return std::optional<std::int64_t>{static_cast<std::int64_t>(v->get<std::uint64_t>())};
    } else if (v->is_number_float()) {
      // The page has one number type: 90.0 is still an integer.
      double d = v->get<double>();
      if (std::isfinite(d) && std::floor(d) == d && std::fabs(d) < 9.0e15)
        return std::optional<std::int64_t>{static_cast<std::int64_t>(d)};
    }
    return fail(wrongType(field, *v, "an integer"));
  }

  Result<std::optional<std::string>> string(std::string_view field) const {
    const Json* v = find(field);
    if (!v) return std::optional<std::string>{};
    if (!v->is_string()) return fail(wrongType(field, *v, "a string"));
    return std::optional<std::string>{v->get<std::string>()};
  }

 private:
  // Absent and null read the same.
  const Json* find(std::string_view field) const {
    auto it = object_.find(field);
    if (it == object_.end() || it->is_null()) return nullptr;
    return &*it;
  }

  Error wrongType(std::string_view field, const Json& got, std::string_view want) const {
    return reader_.invalid(key_, "invalid type: " + std::string(bridge::jsonTypeName(got)) + ", expected " +
                                     std::string(want) + " at `" + std::string(field) + "`");
  }

  const bridge::ArgReader& reader_;
  std::string_view key_;
  const Json& object_;
};

}  // namespace

Result<std::optional<LabelFormat>> readLabelFormat(const bridge::ArgReader& reader, std::string_view key) {
  std::optional<Json> value = reader.optValue(key);
  if (!value) return std::optional<LabelFormat>{};
  if (!value->is_object())
    return fail(reader.invalid(key, "invalid type: " + std::string(bridge::jsonTypeName(*value)) +
                                        ", expected a label format object"));
  FieldReader fields(reader, key, *value);
  LabelFormat format;
  auto width = fields.number("widthMm", true);
  if (!width) return fail(width.error());
  auto height = fields.number("heightMm", true);
  if (!height) return fail(height.error());
  auto rotation = fields.integer("rotation");
  if (!rotation) return fail(rotation.error());
  auto orientation = fields.string("orientation");
  if (!orientation) return fail(orientation.error());
  auto fitMode = fields.string("fitMode");
  if (!fitMode) return fail(fitMode.error());
  auto offsetX = fields.number("offsetXMm", false);
  if (!offsetX) return fail(offsetX.error());
  auto offsetY = fields.number("offsetYMm", false);
  if (!offsetY) return fail(offsetY.error());
  format.widthMm = **width;
  format.heightMm = **height;
  format.rotation = *rotation;
  format.orientation = std::move(*orientation);
  format.fitMode = std::move(*fitMode);
  format.offsetXMm = *offsetX;
  format.offsetYMm = *offsetY;
  return std::optional<LabelFormat>{std::move(format)};
}

int effectiveRotation(const LabelFormat& format) {
  if (format.rotation) return quarterTurn(*format.rotation);
  return format.orientation == "landscape" ? 90 : 0;
}

}  // namespace zorvik::printing
