// Signatures of update bundles: the signature tool's two-line public key and
// four-line signature file, checked with Ed25519. Pure: any thread.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/result.hpp"

namespace zorvik::update {

struct PublicKey {
  std::array<std::uint8_t, 8> keyId{};
  std::array<std::uint8_t, 32> key{};
};

struct Signature {
  bool prehashed = false;  // "ED": the signature is over the BLAKE2b-512 hash of the file
  std::array<std::uint8_t, 8> keyId{};
  std::array<std::uint8_t, 64> signature{};
  std::string trustedComment;
  std::array<std::uint8_t, 64> globalSignature{};
};

// The key file's text (a comment line and the key line).
[[nodiscard]] Result<PublicKey> parsePublicKey(std::string_view text);
// The same text in Base64, as the configuration carries it.
[[nodiscard]] Result<PublicKey> parsePublicKeyBase64(std::string_view base64);
// The signature file's text.
[[nodiscard]] Result<Signature> parseSignature(std::string_view text);
// The same text in Base64, as the update manifest carries it.
[[nodiscard]] Result<Signature> parseSignatureBase64(std::string_view base64);

// Checks the whole file at `path` and the trusted comment against `key`.
[[nodiscard]] Status verifyFile(const std::filesystem::path& path, const Signature& signature, const PublicKey& key);

// Base64 (standard alphabet, padding optional) to bytes; nullopt-like failure on bad input.
[[nodiscard]] Result<std::string> decodeBase64(std::string_view text);

}  // namespace zorvik::update
