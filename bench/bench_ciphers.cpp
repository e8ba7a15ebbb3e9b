// Our DESFire ciphers against OpenSSL's EVP side by side, per message of 8, 32 and 256 bytes:
//   BM_Cbc<Aes|Tdes>_<Ours|OpenSsl>/<bytes>   CBC encipher including the key schedule
//   BM_Cmac<Aes|Tdes>_<Ours|OpenSsl>/<bytes>  CMAC (our subkeys are derived once per session, as
//                                             the library does; OpenSSL's per message, as its
//                                             EVP_MAC interface does)
// Compare the times of a pair in the same run.
#include <benchmark/benchmark.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>

#include <cstring>
#include <vector>

#include "desfire/cmac.h"
#include "desfire/df8crypt.h"

namespace {

using kovra::desfire::CipherAES;
using kovra::desfire::CipherTDES;
using kovra::desfire::DF8Crypt;

const uint8_t kKey[16] = {0x2B, 0x7E, 0x15, 0x16, 0x28, 0xAE, 0xD2, 0xA6,
                          0xAB, 0xF7, 0x15, 0x88, 0x09, 0xCF, 0x4F, 0x3C};
const uint8_t kTdesKey24[24] = {0x2B, 0x7E, 0x15, 0x16, 0x28, 0xAE, 0xD2, 0xA6,
                                0xAB, 0xF7, 0x15, 0x88, 0x09, 0xCF, 0x4F, 0x3C,
                                0x2B, 0x7E, 0x15, 0x16, 0x28, 0xAE, 0xD2, 0xA6};

void CbcOurs(benchmark::State &state, uint8_t cipher) {
  std::vector<uint8_t> message(static_cast<size_t>(state.range(0)), 0x5A), out(message.size());
  DF8Crypt context;
  context.Init(cipher);
  for (auto _ : state) {
    context.ClearIV();
    context.Encipher(cipher, kKey, message.data(), out.data(), message.size());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void CbcOpenSsl(benchmark::State &state, const EVP_CIPHER *cipher, const uint8_t *key) {
  std::vector<uint8_t> message(static_cast<size_t>(state.range(0)), 0x5A), out(message.size() + 16);
  const uint8_t iv[16] = {};
  EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
  for (auto _ : state) {
    int length = 0;
    EVP_EncryptInit_ex(ctx, cipher, nullptr, key, iv);  // the key schedule, per message
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EVP_EncryptUpdate(ctx, out.data(), &length, message.data(), static_cast<int>(message.size()));
    benchmark::DoNotOptimize(out.data());
  }
  EVP_CIPHER_CTX_free(ctx);
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void CmacOurs(benchmark::State &state, uint8_t cipher) {
  std::vector<uint8_t> message(static_cast<size_t>(state.range(0)), 0x5A);
  DF8Crypt context;
  context.Init(cipher);
  std::memcpy(context.SessionKey(), kKey, 16);
  kovra::desfire::GenerateCmacSubkeys(context);
  uint8_t mac[8];
  for (auto _ : state) {
    context.ClearIV();
    kovra::desfire::ComputeCmac(context, false, message.data(), message.size(), mac);
    benchmark::DoNotOptimize(mac);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void CmacOpenSsl(benchmark::State &state, const char *cipher, const uint8_t *key,
                 size_t key_length) {
  std::vector<uint8_t> message(static_cast<size_t>(state.range(0)), 0x5A);
  EVP_MAC *mac_algorithm = EVP_MAC_fetch(nullptr, "CMAC", nullptr);
  EVP_MAC_CTX *ctx = EVP_MAC_CTX_new(mac_algorithm);
  OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_CIPHER, const_cast<char *>(cipher), 0),
      OSSL_PARAM_construct_end()};
  uint8_t mac[16];
  size_t mac_length = 0;
  for (auto _ : state) {
    EVP_MAC_init(ctx, key, key_length, params);
    EVP_MAC_update(ctx, message.data(), message.size());
    EVP_MAC_final(ctx, mac, &mac_length, sizeof mac);
    benchmark::DoNotOptimize(mac);
  }
  EVP_MAC_CTX_free(ctx);
  EVP_MAC_free(mac_algorithm);
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_CbcAes_Ours(benchmark::State &s) {
  CbcOurs(s, CipherAES);
}
void BM_CbcAes_OpenSsl(benchmark::State &s) {
  CbcOpenSsl(s, EVP_aes_128_cbc(), kKey);
}
void BM_CbcTdes_Ours(benchmark::State &s) {
  CbcOurs(s, CipherTDES);
}
void BM_CbcTdes_OpenSsl(benchmark::State &s) {
  CbcOpenSsl(s, EVP_des_ede3_cbc(), kTdesKey24);
}
void BM_CmacAes_Ours(benchmark::State &s) {
  CmacOurs(s, CipherAES);
}
void BM_CmacAes_OpenSsl(benchmark::State &s) {
  CmacOpenSsl(s, "AES-128-CBC", kKey, 16);
}
void BM_CmacTdes_Ours(benchmark::State &s) {
  CmacOurs(s, CipherTDES);
}
void BM_CmacTdes_OpenSsl(benchmark::State &s) {
  CmacOpenSsl(s, "DES-EDE3-CBC", kTdesKey24, 24);
}

BENCHMARK(BM_CbcAes_Ours)->Arg(8)->Arg(32)->Arg(256);
BENCHMARK(BM_CbcAes_OpenSsl)->Arg(8)->Arg(32)->Arg(256);
BENCHMARK(BM_CbcTdes_Ours)->Arg(8)->Arg(32)->Arg(256);
BENCHMARK(BM_CbcTdes_OpenSsl)->Arg(8)->Arg(32)->Arg(256);
BENCHMARK(BM_CmacAes_Ours)->Arg(8)->Arg(32)->Arg(256);
BENCHMARK(BM_CmacAes_OpenSsl)->Arg(8)->Arg(32)->Arg(256);
BENCHMARK(BM_CmacTdes_Ours)->Arg(8)->Arg(32)->Arg(256);
BENCHMARK(BM_CmacTdes_OpenSsl)->Arg(8)->Arg(32)->Arg(256);

}  // namespace

BENCHMARK_MAIN();
