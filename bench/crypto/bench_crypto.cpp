// Throughput of the encryption library against OpenSSL in the same run:
// SHA-1, HMAC-SHA1 and AES-128 in counter mode over 64 MiB, PBKDF2 with the
// container's parameters, and whole containers of 64 MiB. After the usual
// table a summary gives each ratio of our processor time to OpenSSL's.
#include "crypto/aes_lib.h"

#include <benchmark/benchmark.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr std::size_t DataSize = 64u << 20;
constexpr std::int32_t ChunkSize = 0x40000;
const char Passphrase[] = "qorvendatu";
const std::uint8_t Salt[8] = {1, 2, 3, 4, 5, 6, 7, 8};
const std::uint8_t Key16[16] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6,
                                0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};

std::vector<std::uint8_t> &Data()
{
    static std::vector<std::uint8_t> data = [] {
        std::vector<std::uint8_t> d(DataSize);
        std::uint32_t x = 12345;
        for (std::uint8_t &b : d) {
            x = x * 1664525u + 1013904223u;
            b = std::uint8_t(x >> 24);
        }
        return d;
    }();
    return data;
}

// A source over memory that never allocates, and a sink that keeps nothing.
class TSinkStream : public TStream
{
public:
    std::int64_t Read(void *, std::int64_t) override { return 0; }
    void Write(const void *buffer, std::int64_t count) override
    {
        benchmark::DoNotOptimize(buffer);
        Written += count;
    }
    std::int64_t Size() override { return Written; }
    std::int64_t Written = 0;
};

// ---- OpenSSL's side -------------------------------------------------------

class TOsslHmac
{
public:
    TOsslHmac(const std::uint8_t *key, std::size_t length)
    {
        FMac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
        FContext = EVP_MAC_CTX_new(FMac);
        char digest[] = "SHA1";
        const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                                     OSSL_PARAM_construct_end()};
        EVP_MAC_init(FContext, key, length, params);
    }
    ~TOsslHmac()
    {
        EVP_MAC_CTX_free(FContext);
        EVP_MAC_free(FMac);
    }
    void Update(const std::uint8_t *data, std::size_t length) { EVP_MAC_update(FContext, data, length); }
    void Final(std::uint8_t out[20])
    {
        std::size_t n = 0;
        EVP_MAC_final(FContext, out, &n, 20);
    }

private:
    EVP_MAC *FMac = nullptr;
    EVP_MAC_CTX *FContext = nullptr;
};

// The container's keystream from OpenSSL: AES-ECB over blocks of the
// little-endian counter.
class TOsslKeystream
{
public:
    explicit TOsslKeystream(const std::uint8_t key[16]) : FCounters(ChunkSize), FStream(ChunkSize + 16)
    {
        FContext = EVP_CIPHER_CTX_new();
        EVP_EncryptInit_ex(FContext, EVP_aes_128_ecb(), nullptr, key, nullptr);
        EVP_CIPHER_CTX_set_padding(FContext, 0);
    }
    ~TOsslKeystream() { EVP_CIPHER_CTX_free(FContext); }
    // Whole chunks keep the counter on a block boundary; only the last may be short.
    void Apply(std::uint8_t *data, std::size_t length)
    {
        const std::size_t blocks = (length + 15) / 16;
        for (std::size_t b = 0; b < blocks; ++b) {
            ++FCounter;
            std::memcpy(&FCounters[16 * b], &FCounter, 8);  // little-endian host
            std::memset(&FCounters[16 * b + 8], 0, 8);
        }
        int n = 0;
        EVP_EncryptUpdate(FContext, FStream.data(), &n, FCounters.data(), int(16 * blocks));
        for (std::size_t i = 0; i < length; ++i)
            data[i] ^= FStream[i];
    }

private:
    EVP_CIPHER_CTX *FContext;
    std::vector<std::uint8_t> FCounters, FStream;
    std::uint64_t FCounter = 0;
};

bool OsslContainer(const std::uint8_t *source, std::size_t size, bool encrypt, TSinkStream &sink)
{
    std::uint8_t salt[8];
    const std::uint8_t *in = source;
    std::size_t dataSize = size;
    if (encrypt) {
        RAND_bytes(salt, 8);
    } else {
        if (size < 20)
            return false;
        std::memcpy(salt, source, 8);
        in += 10;
        dataSize -= 20;
    }
    std::uint8_t derived[34];
    PKCS5_PBKDF2_HMAC_SHA1(Passphrase, 10, salt, 8, 1000, 34, derived);
    if (!encrypt && std::memcmp(derived + 32, source + 8, 2) != 0)
        return false;
    if (encrypt) {
        sink.Write(salt, 8);
        sink.Write(derived + 32, 2);
    }
    TOsslKeystream keystream(derived);
    TOsslHmac mac(derived + 16, 16);
    static std::vector<std::uint8_t> buffer(ChunkSize);
    for (std::size_t at = 0; at < dataSize; at += ChunkSize) {
        const std::size_t n = std::min<std::size_t>(ChunkSize, dataSize - at);
        std::memcpy(buffer.data(), in + at, n);
        if (!encrypt)
            mac.Update(buffer.data(), n);
        keystream.Apply(buffer.data(), n);
        if (encrypt)
            mac.Update(buffer.data(), n);
        sink.Write(buffer.data(), std::int64_t(n));
    }
    std::uint8_t code[20];
    mac.Final(code);
    if (encrypt) {
        sink.Write(code, 10);
        return true;
    }
    return std::memcmp(code, source + size - 10, 10) == 0;
}

// A 64 MiB container made once by our Encrypt, for both decryptions.
const std::vector<std::uint8_t> &Container()
{
    static std::vector<std::uint8_t> container = [] {
        TEncryption e(Passphrase, ChunkSize);
        TAreaStream in(Data().data(), std::int64_t(DataSize));
        TMemoryStream out;
        if (!e.Encrypt(in, out))
            throw std::runtime_error("encryption failed");
        return out.Data();
    }();
    return container;
}

// ---- the benchmarks -------------------------------------------------------

void Bytes(benchmark::State &state, std::size_t perIteration)
{
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(perIteration));
}

void Sha1Ours(benchmark::State &state)
{
    std::uint8_t digest[20];
    for (auto _ : state) {
        TSha1Context c;
        Sha1Init(c);
        Sha1Update(Data().data(), DataSize, c);
        Sha1Final(digest, c);
        benchmark::DoNotOptimize(digest);
    }
    Bytes(state, DataSize);
}

void Sha1OpenSsl(benchmark::State &state)
{
    std::uint8_t digest[20];
    for (auto _ : state) {
        EVP_Digest(Data().data(), DataSize, digest, nullptr, EVP_sha1(), nullptr);
        benchmark::DoNotOptimize(digest);
    }
    Bytes(state, DataSize);
}

void HmacOurs(benchmark::State &state)
{
    std::uint8_t mac[20];
    for (auto _ : state) {
        THmacContext c;
        HmacInit(c);
        HmacSetKey(Key16, 16, c);
        HmacUpdate(Data().data(), DataSize, c);
        HmacFinal(mac, 20, c);
        benchmark::DoNotOptimize(mac);
    }
    Bytes(state, DataSize);
}

void HmacOpenSsl(benchmark::State &state)
{
    std::uint8_t mac[20];
    for (auto _ : state) {
        TOsslHmac h(Key16, 16);
        h.Update(Data().data(), DataSize);
        h.Final(mac);
        benchmark::DoNotOptimize(mac);
    }
    Bytes(state, DataSize);
}

void CtrOurs(benchmark::State &state)
{
    std::vector<std::uint8_t> &data = Data();
    TCipherContext c;
    std::memset(&c, 0, sizeof c);
    AesSetEncryptKey(Key16, 16, c.Aes);
    c.Position = 16;
    for (auto _ : state) {
        CtrApply(data.data(), DataSize, c);
        benchmark::ClobberMemory();
    }
    Bytes(state, DataSize);
}

void CtrOpenSsl(benchmark::State &state)
{
    std::vector<std::uint8_t> &data = Data();
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    const std::uint8_t iv[16] = {1};
    EVP_EncryptInit_ex(ctx, EVP_aes_128_ctr(), nullptr, Key16, iv);
    for (auto _ : state) {
        int n = 0;
        EVP_EncryptUpdate(ctx, data.data(), &n, data.data(), int(DataSize));
        benchmark::ClobberMemory();
    }
    EVP_CIPHER_CTX_free(ctx);
    Bytes(state, DataSize);
}

void Pbkdf2Ours(benchmark::State &state)
{
    std::uint8_t key[34];
    for (auto _ : state) {
        DeriveKey(Passphrase, 10, Salt, 8, 1000, key, 34);
        benchmark::DoNotOptimize(key);
    }
}

void Pbkdf2OpenSsl(benchmark::State &state)
{
    std::uint8_t key[34];
    for (auto _ : state) {
        PKCS5_PBKDF2_HMAC_SHA1(Passphrase, 10, Salt, 8, 1000, 34, key);
        benchmark::DoNotOptimize(key);
    }
}

void EncryptOurs(benchmark::State &state)
{
    TEncryption e(Passphrase, ChunkSize);
    for (auto _ : state) {
        TAreaStream in(Data().data(), std::int64_t(DataSize));
        TSinkStream out;
        if (!e.Encrypt(in, out))
            state.SkipWithError("Encrypt failed");
    }
    Bytes(state, DataSize);
}

void EncryptOpenSsl(benchmark::State &state)
{
    for (auto _ : state) {
        TSinkStream out;
        OsslContainer(Data().data(), DataSize, true, out);
    }
    Bytes(state, DataSize);
}

void DecryptOurs(benchmark::State &state)
{
    const std::vector<std::uint8_t> &container = Container();
    TEncryption e(Passphrase, ChunkSize);
    for (auto _ : state) {
        TAreaStream in(container.data(), std::int64_t(container.size()));
        TSinkStream out;
        if (!e.Decrypt(in, &out, std::int64_t(container.size())))
            state.SkipWithError("Decrypt failed");
    }
    Bytes(state, DataSize);
}

void DecryptOpenSsl(benchmark::State &state)
{
    const std::vector<std::uint8_t> &container = Container();
    for (auto _ : state) {
        TSinkStream out;
        if (!OsslContainer(container.data(), container.size(), false, out))
            state.SkipWithError("OpenSSL could not open our container");
    }
    Bytes(state, DataSize);
}

// Keeps every run's processor time per iteration for the summary: on a
// shared machine it is steadier than the wall clock.
class TRatioReporter : public benchmark::ConsoleReporter
{
public:
    TRatioReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_Defaults : OO_Tabular) {}
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs)
            if (!run.error_occurred)
                Times[run.benchmark_name()] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> Times;
};

} // namespace

int main(int argc, char **argv)
{
    Data();
    Container();
    const struct {
        const char *Name;
        void (*Ours)(benchmark::State &);
        void (*OpenSsl)(benchmark::State &);
    } pairs[] = {
        {"sha1_64MiB", Sha1Ours, Sha1OpenSsl},
        {"hmac_sha1_64MiB", HmacOurs, HmacOpenSsl},
        {"aes128_ctr_64MiB", CtrOurs, CtrOpenSsl},
        {"pbkdf2_1000x34", Pbkdf2Ours, Pbkdf2OpenSsl},
        {"encrypt_64MiB", EncryptOurs, EncryptOpenSsl},
        {"decrypt_64MiB", DecryptOurs, DecryptOpenSsl},
    };
    for (const auto &p : pairs) {
        const bool big = std::strstr(p.Name, "MiB") != nullptr;
        for (auto *b : {benchmark::RegisterBenchmark((std::string(p.Name) + "/ours").c_str(), p.Ours),
                        benchmark::RegisterBenchmark((std::string(p.Name) + "/openssl").c_str(), p.OpenSsl)})
            b->Unit(big ? benchmark::kMillisecond : benchmark::kMicrosecond);
    }

    benchmark::Initialize(&argc, argv);
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\n%-18s %14s %14s %14s\n", "ratio ours/OpenSSL", "ours", "OpenSSL", "time ratio");
    for (const auto &p : pairs) {
        const auto ours = reporter.Times.find(std::string(p.Name) + "/ours");
        const auto theirs = reporter.Times.find(std::string(p.Name) + "/openssl");
        if (ours == reporter.Times.end() || theirs == reporter.Times.end())
            continue;
        const bool big = std::strstr(p.Name, "MiB") != nullptr;
        const char *unit = big ? "ms" : "us";
        std::printf("%-18s %11.3f %s %11.3f %s %13.2fx\n", p.Name, ours->second, unit, theirs->second, unit,
                    ours->second / theirs->second);
    }
    benchmark::Shutdown();
    return 0;
}
