#include "signing/signer.hpp"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <mutex>

#include "core/system_error.hpp"
#include "core/utf8_path.hpp"
#include "platform/c_file.hpp"
#include "platform/process.hpp"
#include "signing/sign_checks.hpp"
#include "signing/text.hpp"
#include "signing/tool_run.hpp"
#include "signing/tool_search.hpp"

namespace zorvik::signing {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kDataFile = "auth.bin";

std::mutex optionsLock;
std::optional<std::string> options;

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

using FilePtr = platform::CFile;

Status writeFile(const fs::path& path, const Bytes& bytes) {
  errno = 0;
  FilePtr file = platform::openFile(path, "wb");
  if (!file) return fail(errnoText(errno));
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
    return fail(errnoText(errno));
  if (std::fclose(file.release()) != 0) return fail(errnoText(errno));
  return {};
}

Result<Bytes> readFile(const fs::path& path) {
  errno = 0;
  FilePtr file = platform::openFile(path, "rb");
  if (!file) return fail(errnoText(errno));
  Bytes bytes;
  std::uint8_t buf[65536];
  for (;;) {
    std::size_t n = std::fread(buf, 1, sizeof buf, file.get());
    bytes.insert(bytes.end(), buf, buf + n);
    if (n < sizeof buf) break;
  }
  if (std::ferror(file.get())) return fail(errnoText(errno ? errno : EIO));
  return bytes;
}

// The tool's command line for one signature; for csptest, after finding the
// holder of the certificate.
struct ToolCommand {
  std::vector<std::string> args;
  fs::path expected;
};

Result<ToolCommand> buildCommand(const Signer& signer, const fs::path& folder, std::string_view thumbprint,
                                 SignMode mode) {
  const fs::path data = folder / kDataFile;
  if (signer.tool == kCryptcp) return ToolCommand{cryptcpArgs(mode, thumbprint, data), folder / "auth.bin.sig"};

  auto certificates = listCertificates();
  const Certificate* found = nullptr;
  if (certificates) {
    const std::string wanted = toLower(thumbprint);
    for (const auto& c : *certificates)
      if (c.thumbprint == wanted) {
        found = &c;
        break;
      }
  }
  if (!found) return fail("Сертификат с таким отпечатком не найден в хранилище");
  const fs::path signature = folder / "auth.sig";
  return ToolCommand{
      csptestArgs(mode, csptestOptions(signer.path), thumbprint, holderName(*found), data, signature), signature};
}

Result<std::string> signIn(const Signer& signer, const fs::path& folder, const Bytes& data,
                           std::string_view thumbprint, SignMode mode) {
  if (auto written = writeFile(folder / kDataFile, data); !written)
    return failWith("Не удалось записать данные для подписи: ", written.error());
  auto command = buildCommand(signer, folder, thumbprint, mode);
  if (!command) return fail(command.error());
  auto run = runToolLimited(signer.path, command->args, folder);
  if (!run) return fail(run.error());

  auto file = findSignatureFile(folder, command->expected);
  if (!file) return failWith("Подпись не создана. ", failureReason(run->combined()));
  auto signature = readFile(*file);
  if (!signature) return failWith("Не удалось прочитать подпись: ", signature.error());
  if (auto finding = signatureFinding(*signature, mode)) return fail(*finding);
  return encodeBase64(*signature);
}

Result<std::string> sign(const Bytes& data, std::string_view thumbprint, SignMode mode) {
  auto signer = chooseSigner();
  if (!signer) return fail("КриптоПро не найден: нечем подписывать. Укажите каталог установки в настройках");
  auto folder = ToolFolder::create("zorvik-sign-");
  if (!folder) return fail(folder.error());
  return signIn(*signer, folder->path(), data, thumbprint, mode);
}

}  // namespace

std::vector<std::string> cryptcpArgs(SignMode mode, std::string_view thumbprint, const fs::path& data) {
  return {"-sign",       mode == SignMode::Attached ? "-attached" : "-detached",
          "-cert",       "-der",
          "-strict",     "-thumbprint",
          std::string(thumbprint), utf8Text(data)};
}

std::vector<std::string> csptestArgs(SignMode mode, std::string_view options, std::string_view thumbprint,
                                     std::string_view holder, const fs::path& data, const fs::path& signature) {
  std::vector<std::string> args = {"-sfsign", "-sign"};
  if (mode == SignMode::Detached && (options.empty() || contains(options, "-detached"))) args.push_back("-detached");
  if (options.empty() || contains(options, "-add")) args.push_back("-add");
  args.insert(args.end(), {"-in", utf8Text(data), "-out", utf8Text(signature)});
  if (contains(options, "-thumbprint")) {
    args.insert(args.end(), {"-thumbprint", std::string(thumbprint)});
  } else if (contains(options, "thumbprint")) {
    args.insert(args.end(), {"-my", std::string(thumbprint)});
  } else {
    args.insert(args.end(), {"-my", std::string(holder)});
  }
  return args;
}

std::string holderName(const Certificate& certificate) {
  for (const auto& [name, value] : parseSubject(certificate.subject)) {
    if (toLower(name) != "cn") continue;
    auto cn = trim(value);
    if (!cn.empty()) return std::string(cn);
    break;
  }
  return certificate.subject;
}

std::string failureReason(std::string_view printed) {
  const std::string lower = toLower(printed);
  auto any = [&](std::initializer_list<std::string_view> words) {
    for (auto w : words)
      if (contains(lower, w)) return true;
    return false;
  };
  if (any({"0x8009200b", "cannot find", "не найден"}))
    return "Сертификат с таким отпечатком не найден или у него нет закрытого ключа.";
  if (any({"password", "пароль", "pin"}))
    return "Контейнер закрыт паролем — снимите пароль или задайте его в настройках.";
  if (any({"chain", "цепочк"}))
    return "Не проверяется цепочка сертификатов: нет корневого сертификата или нет доступа к списку отозванных.";
  auto lines = splitLines(printed);
  for (auto it = lines.rbegin(); it != lines.rend(); ++it)
    if (auto line = trim(*it); !line.empty()) return std::string(line);
  return "cryptcp не сообщил причину";
}

std::optional<fs::path> findSignatureFile(const fs::path& folder, const fs::path& expected) {
  std::error_code ec;
  if (fs::exists(expected, ec)) return expected;
  fs::directory_iterator it(folder, ec), end;
  if (ec) return std::nullopt;
  for (; it != end; it.increment(ec)) {
    if (ec) break;
    const std::string name = utf8Text(it->path().filename());
    if (!name.starts_with(kDataFile)) continue;
    auto dot = name.rfind('.');
    const std::string ext = toLower(std::string_view(name).substr(dot + 1));
    if (ext == "sig" || ext == "sgn" || ext == "p7s" || ext == "p7b" || ext == "sign" || ext == "p7m")
      return it->path();
  }
  return std::nullopt;
}

std::string csptestOptions(const fs::path& csptest) {
  std::lock_guard lock(optionsLock);
  if (!options) {
    auto temp = systemTempFolder();
    auto run = temp ? runToolLimited(csptest, {"-sfsign"}, *temp) : Result<ToolOutput>(fail(temp.error()));
    // A blank usage text says nothing about the options, like no text at all.
    options = run ? std::string(trim(run->combined())) : std::string();
  }
  return *options;
}

void resetCsptestOptions() {
  std::lock_guard lock(optionsLock);
  options.reset();
}

Result<std::string> signAuthData(std::string_view data, std::string_view thumbprint) {
  if (auto ok = checkAuthData(data); !ok) return fail(ok.error());
  if (auto ok = checkThumbprint(thumbprint); !ok) return fail(ok.error());
  return sign(Bytes(data.begin(), data.end()), thumbprint, SignMode::Attached);
}

Result<std::string> signDocument(std::string_view documentBase64, std::string_view documentType,
                                 std::string_view thumbprint) {
  if (auto ok = checkDocumentType(documentType); !ok) return fail(ok.error());
  if (auto ok = checkThumbprint(thumbprint); !ok) return fail(ok.error());
  auto document = decodeDocument(documentBase64);
  if (!document) return fail(document.error());
  return sign(*document, thumbprint, SignMode::Detached);
}

}  // namespace zorvik::signing
