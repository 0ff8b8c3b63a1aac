#include "transport/wire/Md5.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace tarnix {
namespace {

// Fetched once: an implicit fetch on every EVP_DigestInit_ex costs more than
// hashing a short frame.
const EVP_MD* Md5Algorithm() {
  static EVP_MD* md = EVP_MD_fetch(nullptr, "MD5", nullptr);
  if (md == nullptr) throw std::runtime_error("MD5 is not available in the linked OpenSSL");
  return md;
}

}  // namespace

struct TMd5::Context {
  struct Free {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
  };
  std::unique_ptr<EVP_MD_CTX, Free> ctx{EVP_MD_CTX_new()};
};

TMd5::TMd5() : context_(std::make_unique<Context>()) {
  if (!context_->ctx) throw std::runtime_error("EVP_MD_CTX_new failed");
}

TMd5::~TMd5() = default;

void TMd5::Begin() {
  if (EVP_DigestInit_ex(context_->ctx.get(), Md5Algorithm(), nullptr) != 1) {
    throw std::runtime_error("EVP_DigestInit_ex(MD5) failed");
  }
}

void TMd5::Update(const void* data, std::size_t size) {
  if (size == 0) return;
  if (EVP_DigestUpdate(context_->ctx.get(), data, size) != 1) {
    throw std::runtime_error("EVP_DigestUpdate failed");
  }
}

TDigest TMd5::Finish() {
  TDigest digest{};
  unsigned int len = 0;
  if (EVP_DigestFinal_ex(context_->ctx.get(), digest.data(), &len) != 1 || len != digest.size()) {
    throw std::runtime_error("EVP_DigestFinal_ex failed");
  }
  return digest;
}

TDigest Md5Of(std::span<const uint8_t> data) {
  TMd5 md5;
  md5.Begin();
  md5.Update(data.data(), data.size());
  return md5.Finish();
}

std::string DigestToHex(const TDigest& digest) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(digest.size() * 2);
  for (uint8_t b : digest) {
    text.push_back(kHex[b >> 4]);
    text.push_back(kHex[b & 15]);
  }
  return text;
}

}  // namespace tarnix
