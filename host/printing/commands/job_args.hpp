// What print_file and print_bytes take besides the document.
#pragma once

#include <optional>
#include <string>

#include "bridge/command.hpp"
#include "printing/label_format.hpp"

namespace zorvik::printing {

struct JobArgs {
  std::optional<std::string> printerName;
  std::optional<LabelFormat> format;
  std::optional<std::int64_t> copies;
};

// `copies` is an unsigned integer or null.
inline Result<std::optional<std::int64_t>> readCopies(const bridge::ArgReader& reader) {
  auto copies = reader.optInteger("copies");
  if (!copies) return fail(copies.error());
  if (*copies && **copies < 0)
    return fail(reader.invalid("copies", "invalid value: " + std::to_string(**copies) + ", expected an unsigned integer"));
  return *copies;
}

inline Result<JobArgs> readJobArgs(const bridge::ArgReader& r) {
  auto printer = r.optString("printerName");
  if (!printer) return fail(printer.error());
  auto format = readLabelFormat(r);
  if (!format) return fail(format.error());
  auto copies = readCopies(r);
  if (!copies) return fail(copies.error());
  return JobArgs{std::move(*printer), std::move(*format), *copies};
}

}  // namespace zorvik::printing
