#include "signing/crypto_status.hpp"

#include "signing/text.hpp"
#include "signing/tool_run.hpp"
#include "signing/tool_search.hpp"

namespace zorvik::signing {

namespace fs = std::filesystem;

namespace {

Json pathOrNull(const std::optional<fs::path>& path) { return path ? Json(pathText(*path)) : Json(nullptr); }

// A run in the system's temporary folder, where the diagnostic runs keep
// their output files.
Result<ToolOutput> runInTemp(const fs::path& tool, const std::vector<std::string>& args) {
  auto temp = systemTempFolder();
  if (!temp) return failWith("Не удалось создать временный файл: ", temp.error());
  return runToolLimited(tool, args, *temp);
}

// stdout, a line break and stderr, trimmed.
std::string printed(const ToolOutput& output) { return std::string(trim(output.combined())); }

}  // namespace

CryptoStatus cryptoStatus(std::chrono::milliseconds limit) {
  CryptoStatus status;
  status.searched = candidateFolders();
  status.certmgrPath = findToolIn(status.searched, kCertmgr);
  status.cryptcpPath = findToolIn(status.searched, kCryptcp);
  status.csptestPath = findToolIn(status.searched, kCsptest);
  status.available = status.certmgrPath && (status.cryptcpPath || status.csptestPath);
  if (status.certmgrPath) {
    if (auto listing = runToolTimed(*status.certmgrPath, {"-list"}, "certmgr", limit)) {
      auto lines = splitLines(listing->out);
      if (!lines.empty()) {
        auto first = trim(lines.front());
        if (!first.empty()) status.version = std::string(first);
      }
    }
  }
  return status;
}

Json toJson(const CryptoStatus& status) {
  Json searched = Json::array();
  for (const auto& folder : status.searched) searched.push_back(pathText(folder));
  return Json{{"available", status.available},   {"certmgrPath", pathOrNull(status.certmgrPath)},
              {"cryptcpPath", pathOrNull(status.cryptcpPath)},
              {"version", status.version ? Json(*status.version) : Json(nullptr)},
              {"searched", std::move(searched)}, {"csptestPath", pathOrNull(status.csptestPath)}};
}

std::string diagnoseReport() {
  std::string signer;
  if (auto tool = chooseSigner()) {
    std::vector<std::string> args;
    if (tool->tool == kCsptest) args.push_back("-sfsign");
    signer = std::string(tool->tool) + " — " + pathText(tool->path) + "\n\n";
    auto run = runInTemp(tool->path, args);
    if (!run) {
      signer += "Не удалось получить справку: " + run.error();
    } else {
      auto text = printed(*run);
      signer += text.empty() ? "утилита ничего не ответила" : text;
    }
  } else {
    signer = "Утилита подписи не найдена";
  }

  std::string listing;
  if (auto certmgr = findTool(kCertmgr)) {
    auto run = runInTemp(*certmgr, {"-list"});
    if (!run) {
      listing = "Не удалось получить список: " + run.error();
    } else {
      auto text = printed(*run);
      listing = text.empty() ? "certmgr ничего не вывел" : text;
    }
  } else {
    listing = "certmgr не найден";
  }

  return signer + "\n\n─── certmgr -list ───\n\n" + listing;
}

}  // namespace zorvik::signing
