// The string cipher, its Base64 decoder and the UTF-8 check, each beside the library call it
// stands on. An anchor is named like its subject with "_anchor" added to the function part.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "bench/fixtures.h"
#include "platform/foundation/bytes.h"
#include "service_client/string_cipher.h"

namespace {

constexpr std::size_t kKiB = 1024;
const unsigned char kIV[16] = {};

const EVP_CIPHER* aes256() {
  static EVP_CIPHER* const cipher = EVP_CIPHER_fetch(nullptr, "AES-256-CBC", nullptr);
  return cipher;
}

// One whole message through the library: a fresh context, the key schedule, the blocks, the end.
int evpCrypt(bool encrypt, const unsigned char* in, int inLength, unsigned char* out) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int written = 0;
  int last = 0;
  EVP_CipherInit_ex2(ctx, aes256(), reinterpret_cast<const unsigned char*>(bench::kKey.data()), kIV,
                     encrypt ? 1 : 0, nullptr);
  EVP_CipherUpdate(ctx, out, &written, in, inLength);
  EVP_CipherFinal_ex(ctx, out + written, &last);
  EVP_CIPHER_CTX_free(ctx);
  return written + last;
}

// Base64 through EVP_DecodeBlock, which counts "=" padding as zero bytes.
int evpDecode(const std::string& base64, unsigned char* out) {
  const int length = EVP_DecodeBlock(out, reinterpret_cast<const unsigned char*>(base64.data()),
                                     static_cast<int>(base64.size()));
  int pad = 0;
  for (auto it = base64.rbegin(); it != base64.rend() && *it == '='; ++it) ++pad;
  return length - pad;
}

void qv_add(benchmark::State& state, std::size_t size) {
  const std::string text = bench::jsonLikeText(size);
  for (auto _ : state) benchmark::DoNotOptimize(QVExtStore::qv_add(text, bench::kKey));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void qv_add_anchor(benchmark::State& state, std::size_t size) {
  const std::string text = bench::jsonLikeText(size);
  std::vector<unsigned char> enciphered(size + 16);
  std::vector<unsigned char> base64((size + 16) / 3 * 4 + 8);
  for (auto _ : state) {
    const int n = evpCrypt(true, reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(size),
                           enciphered.data());
    benchmark::DoNotOptimize(EVP_EncodeBlock(base64.data(), enciphered.data(), n));
    benchmark::ClobberMemory();
  }
  const std::string ours = QVExtStore::qv_add(text, bench::kKey);
  if (ours != reinterpret_cast<const char*>(base64.data())) bench::fail(state, "qv_add differs from OpenSSL");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void qv_remove(benchmark::State& state, std::size_t size) {
  const std::string text = bench::jsonLikeText(size);
  const std::string base64 = QVExtStore::qv_add(text, bench::kKey);
  for (auto _ : state) benchmark::DoNotOptimize(QVExtStore::qv_remove(base64, bench::kKey));
  if (QVExtStore::qv_remove(base64, bench::kKey) != text) bench::fail(state, "qv_remove lost the text");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void qv_remove_anchor(benchmark::State& state, std::size_t size) {
  const std::string text = bench::jsonLikeText(size);
  const std::string base64 = QVExtStore::qv_add(text, bench::kKey);
  std::vector<unsigned char> decoded(base64.size() / 4 * 3 + 3);
  std::vector<unsigned char> plain(decoded.size() + 16);
  const auto once = [&] { return evpCrypt(false, decoded.data(), evpDecode(base64, decoded.data()), plain.data()); };
  for (auto _ : state) {
    benchmark::DoNotOptimize(once());
    benchmark::ClobberMemory();
  }
  const int n = once();
  if (n < 0 || std::string(plain.begin(), plain.begin() + n) != text) bench::fail(state, "the anchor lost the text");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

// each size of each operation beside its anchor
#define BESIDE_ANCHOR(operation, label, size)   \
  BENCHMARK_CAPTURE(operation, label, size);    \
  BENCHMARK_CAPTURE(operation##_anchor, label, size)

BESIDE_ANCHOR(qv_add, 1KiB, kKiB);
BESIDE_ANCHOR(qv_add, 64KiB, 64 * kKiB);
BESIDE_ANCHOR(qv_add, 1MiB, 1024 * kKiB);
BESIDE_ANCHOR(qv_remove, 1KiB, kKiB);
BESIDE_ANCHOR(qv_remove, 64KiB, 64 * kKiB);
BESIDE_ANCHOR(qv_remove, 1MiB, 1024 * kKiB);

// Throughput in input characters of a 1 MiB Base64 text on one line.
void decode_leniently(benchmark::State& state) {
  const std::string base64 = QVExtStore::qv_add(bench::jsonLikeText(1024 * kKiB), bench::kKey);
  for (auto _ : state) benchmark::DoNotOptimize(QVExtStore::decodeLeniently(base64));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * base64.size()));
}

void decode_leniently_anchor(benchmark::State& state) {
  const std::string base64 = QVExtStore::qv_add(bench::jsonLikeText(1024 * kKiB), bench::kKey);
  std::vector<unsigned char> out(base64.size() / 4 * 3 + 3);
  for (auto _ : state) {
    benchmark::DoNotOptimize(evpDecode(base64, out.data()));
    benchmark::ClobberMemory();
  }
  const platform::Bytes ours = QVExtStore::decodeLeniently(base64);
  if (ours.size() > out.size() || !std::equal(ours.begin(), ours.end(), out.begin()))
    bench::fail(state, "the decoders disagree");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * base64.size()));
}

BENCHMARK(decode_leniently);
BENCHMARK(decode_leniently_anchor);

// The check on 1 MiB of ASCII; its anchor is one plain pass over the same bytes.
void utf8_check(benchmark::State& state) {
  const std::string text = bench::jsonLikeText(1024 * kKiB);
  for (auto _ : state) benchmark::DoNotOptimize(platform::isValidUTF8(text));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void utf8_check_anchor(benchmark::State& state) {
  const std::string text = bench::jsonLikeText(1024 * kKiB);
  for (auto _ : state) benchmark::DoNotOptimize(std::memchr(text.data(), 0x80, text.size()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

BENCHMARK(utf8_check);
BENCHMARK(utf8_check_anchor);

}  // namespace
