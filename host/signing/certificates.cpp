#include "signing/certificates.hpp"

#include <algorithm>
#include <array>

#include "signing/text.hpp"
#include "signing/tool_run.hpp"
#include "signing/tool_search.hpp"

namespace zorvik::signing {

namespace {

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }
bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// "<digits>---…": opens a certificate block.
bool isBlockHeader(std::string_view line) {
  std::size_t digits = 0;
  while (digits < line.size() && isAsciiDigit(line[digits])) ++digits;
  return line.size() >= 2 && digits > 0 && line.substr(digits, 3) == "---";
}

struct Block {
  std::optional<std::string> thumbprint;
  std::optional<std::string> subject;
  std::optional<std::string> issuer;
  std::optional<std::string> validFrom;
  std::optional<std::string> validTo;
  bool hasPrivateKey = false;
};

void applyLine(Block& block, std::string_view line) {
  auto colon = line.find(':');
  if (colon == std::string_view::npos) return;
  const std::string key = toLower(trim(line.substr(0, colon)));
  const std::string_view value = trim(line.substr(colon + 1));
  if (value.empty()) return;
  if (!block.thumbprint && isThumbprint(value)) {
    block.thumbprint = toLower(value);
    return;
  }
  if (key == "subject" || key == "субъект") {
    block.subject = std::string(value);
  } else if (key == "issuer" || key == "издатель") {
    block.issuer = std::string(value);
  } else if (key == "not valid before" || key == "выдан") {
    block.validFrom = std::string(value);
  } else if (key == "not valid after" || key == "истекает" || key == "действителен до") {
    block.validTo = std::string(value);
  } else if (startsWith(key, "privatekey") || contains(key, "закрытый ключ") || contains(key, "закрытому ключу")) {
    const std::string lower = toLower(value);
    block.hasPrivateKey = !(startsWith(lower, "no") || startsWith(lower, "нет"));
  } else if (key == "container" || key == "контейнер") {
    block.hasPrivateKey = true;
  }
}

void closeBlock(std::optional<Block>& block, std::vector<Certificate>& out) {
  if (block && block->thumbprint) {
    Certificate c;
    c.thumbprint = *block->thumbprint;
    c.subject = block->subject.value_or("");
    c.issuer = block->issuer.value_or("");
    auto inn = innFields(c.subject);
    c.inn = inn.inn;
    c.innLe = inn.innLe;
    c.innPersonal = inn.innPersonal;
    c.validFrom = block->validFrom;
    c.validTo = block->validTo;
    c.hasPrivateKey = block->hasPrivateKey;
    out.push_back(std::move(c));
  }
  block.reset();
}

Json stringOrNull(const std::optional<std::string>& s) { return s ? Json(*s) : Json(nullptr); }

}  // namespace

bool isThumbprint(std::string_view text) {
  return text.size() == 40 && std::all_of(text.begin(), text.end(), isHexDigit);
}

Json toJson(const Certificate& c) {
  return Json{{"thumbprint", c.thumbprint},
              {"subject", c.subject},
              {"issuer", c.issuer},
              {"inn", stringOrNull(c.inn)},
              {"innLe", stringOrNull(c.innLe)},
              {"innPersonal", stringOrNull(c.innPersonal)},
              {"validFrom", stringOrNull(c.validFrom)},
              {"validTo", stringOrNull(c.validTo)},
              {"hasPrivateKey", c.hasPrivateKey}};
}

std::vector<Certificate> parseListing(std::string_view text) {
  std::vector<Certificate> certificates;
  std::optional<Block> block;  // nothing before the first header
  for (auto raw : splitLines(text)) {
    auto line = trim(raw);
    if (isBlockHeader(line)) {
      closeBlock(block, certificates);
      block.emplace();
    } else if (block) {
      applyLine(*block, line);
    }
  }
  closeBlock(block, certificates);
  return certificates;
}

std::vector<SubjectAttribute> parseSubject(std::string_view subject) {
  std::vector<std::string_view> pieces;
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < subject.size(); ++i) {
    if (subject[i] == '"') quoted = !quoted;
    else if (subject[i] == ',' && !quoted) {
      pieces.push_back(subject.substr(start, i - start));
      start = i + 1;
    }
  }
  pieces.push_back(subject.substr(start));

  std::vector<SubjectAttribute> attributes;
  for (auto piece : pieces) {
    piece = trim(piece);
    auto eq = piece.find('=');
    if (eq == std::string_view::npos) continue;
    std::string name(trim(piece.substr(0, eq)));
    std::string_view value = trim(piece.substr(eq + 1));
    std::string unquoted;
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      auto inner = value.substr(1, value.size() - 2);
      for (std::size_t i = 0; i < inner.size(); ++i) {
        unquoted.push_back(inner[i]);
        if (inner[i] == '"' && i + 1 < inner.size() && inner[i + 1] == '"') ++i;
      }
    } else {
      unquoted = std::string(value);
    }
    attributes.emplace_back(std::move(name), std::move(unquoted));
  }
  return attributes;
}

InnFields innFields(std::string_view subject) {
  static constexpr std::array<std::string_view, 4> kLe = {"INNLE", "ИНН ЮЛ", "ИННЮЛ", "1.2.643.100.4"};
  static constexpr std::array<std::string_view, 3> kPersonal = {"INN", "ИНН", "1.2.643.3.131.1.1"};
  InnFields fields;
  for (const auto& [rawName, rawValue] : parseSubject(subject)) {
    std::string name(trim(toUpper(rawName)));
    if (startsWith(name, "OID.")) name.erase(0, 4);
    std::string digits;
    std::copy_if(rawValue.begin(), rawValue.end(), std::back_inserter(digits), isAsciiDigit);
    if (digits.empty()) continue;
    if (std::find(kLe.begin(), kLe.end(), name) != kLe.end()) {
      if (!fields.innLe) fields.innLe = digits;
    } else if (std::find(kPersonal.begin(), kPersonal.end(), name) != kPersonal.end()) {
      if (!fields.innPersonal) fields.innPersonal = digits;
    }
  }
  fields.inn = fields.innLe ? fields.innLe : fields.innPersonal;
  return fields;
}

Result<std::vector<Certificate>> listCertificates(std::chrono::milliseconds limit) {
  auto certmgr = findTool(kCertmgr);
  if (!certmgr) return fail("КриптоПро не найден: нет утилиты certmgr");
  // A certmgr waiting for a key carrier would hold every later signing call.
  auto run = runToolTimed(*certmgr, {"-list"}, "certmgr", limit);
  if (!run) return fail(run.error());
  auto certificates = parseListing(run->out);
  if (!certificates.empty() || run->exitCode == 0) return certificates;
  auto reason = trim(run->err);
  return failWith("certmgr вернул ошибку: ", reason.empty() ? std::string_view("сертификаты не найдены") : reason);
}

}  // namespace zorvik::signing
