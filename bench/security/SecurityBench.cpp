// Base64 family and secure string, side by side with OpenSSL (EVP_EncodeBlock/EVP_DecodeBlock,
// bare EVP AES-256-CBC) and, when Poco is installed, Poco's Base64 streams:
//   Base64Encode1M, Base64Decode1M   1 MiB of random bytes, text without line breaks
//   Base64Decode1MLines              ours only, the same bytes as text broken into lines; its
//                                    goal is set against our own Base64Decode1M
//   Base64Encode16, Base64Decode16   16 bytes
//   SecureStringRoundTrip16, ...1K   setValue then getUnsecureString, against a fresh IV and an
//                                    encryption and decryption of the same bytes with bare EVP
//   SecureStringBase64RoundTrip1K    ours only: a secure string serialised to Base64 and back
// Every variant produces its result as an owned string or vector, as ours does, so allocation is
// on both sides of each ratio.
#include <zam/Base64.h>
#include <zam/SecureString.h>
#include <zam/SecureStringReader.h>

#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#ifdef SF_BENCH_WITH_POCO
#include <Poco/Base64Decoder.h>
#include <Poco/Base64Encoder.h>
#endif

#include <algorithm>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes randomBytes(std::size_t size) {
    std::mt19937 random(static_cast<unsigned int>(size));
    Bytes bytes(size);
    for (auto& b : bytes) {
        b = static_cast<unsigned char>(random());
    }
    return bytes;
}

std::string opensslEncode(const Bytes& bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&text[0]), bytes.data(),
                                       static_cast<int>(bytes.size()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

// EVP_DecodeBlock keeps the zero bytes of padding; callers cut them as here.
Bytes opensslDecode(const std::string& text) {
    Bytes bytes(3 * (text.size() / 4));
    int length = EVP_DecodeBlock(bytes.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                 static_cast<int>(text.size()));
    for (std::size_t i = text.size(); length > 0 && i > 0 && text[i - 1] == '='; --i) {
        --length;
    }
    bytes.resize(length < 0 ? 0 : static_cast<std::size_t>(length));
    return bytes;
}

#ifdef SF_BENCH_WITH_POCO
std::string pocoEncode(const Bytes& bytes) {
    std::ostringstream text;
    Poco::Base64Encoder encoder(text);
    encoder.rdbuf()->setLineLength(0);
    encoder.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    encoder.close();
    return text.str();
}

Bytes pocoDecode(const std::string& text) {
    std::istringstream in(text);
    Poco::Base64Decoder decoder(in);
    return Bytes(std::istreambuf_iterator<char>(decoder), std::istreambuf_iterator<char>());
}
#endif

// --- Base64 ---------------------------------------------------------------------------------

void encodeOurs(benchmark::State& state, std::size_t size) {
    const Bytes bytes = randomBytes(size);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            zam::base64_encode(bytes.data(), static_cast<unsigned int>(size), false));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void encodeOpenssl(benchmark::State& state, std::size_t size) {
    const Bytes bytes = randomBytes(size);
    for (auto _ : state) {
        benchmark::DoNotOptimize(opensslEncode(bytes));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void decodeOurs(benchmark::State& state, std::size_t size, bool lineBreaks) {
    const Bytes bytes = randomBytes(size);
    const std::string text =
        zam::base64_encode(bytes.data(), static_cast<unsigned int>(size), lineBreaks);
    Bytes check;
    if (zam::base64_decode(text, check) != 0 || check != bytes) {
        state.SkipWithError("our decoder does not give the bytes back");
        return;
    }
    for (auto _ : state) {
        Bytes out;
        const int result = zam::base64_decode(text, out);
        benchmark::DoNotOptimize(result);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void decodeOpenssl(benchmark::State& state, std::size_t size) {
    const Bytes bytes = randomBytes(size);
    const std::string text = opensslEncode(bytes);
    if (opensslDecode(text) != bytes) {
        state.SkipWithError("OpenSSL does not give the bytes back");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(opensslDecode(text));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

#ifdef SF_BENCH_WITH_POCO
void encodePoco(benchmark::State& state, std::size_t size) {
    const Bytes bytes = randomBytes(size);
    for (auto _ : state) {
        benchmark::DoNotOptimize(pocoEncode(bytes));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void decodePoco(benchmark::State& state, std::size_t size) {
    const Bytes bytes = randomBytes(size);
    const std::string text = pocoEncode(bytes);
    if (pocoDecode(text) != bytes) {
        state.SkipWithError("Poco does not give the bytes back");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(pocoDecode(text));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}
#endif

// --- Secure string ------------------------------------------------------------------------------

void secureRoundTripOurs(benchmark::State& state, std::size_t size) {
    const Bytes bytes = randomBytes(size);
    zam::SecureString secret;
    {
        secret.setValue(reinterpret_cast<const char*>(bytes.data()), size);
        zam::SecureStringReader reader;
        secret.getUnsecureString(reader);
        if (reader.getBufSize() != size || !std::equal(bytes.begin(), bytes.end(), reader.c_str(),
                                                       [](unsigned char byte, char text) {
                                                           return byte ==
                                                                  static_cast<unsigned char>(text);
                                                       })) {
            state.SkipWithError("the secure string does not give the bytes back");
            return;
        }
    }
    for (auto _ : state) {
        secret.setValue(reinterpret_cast<const char*>(bytes.data()), size);
        zam::SecureStringReader reader;
        secret.getUnsecureString(reader);
        benchmark::DoNotOptimize(reader.c_str());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

// The least a correct user of EVP does for the same job: a fresh random IV, encrypt, decrypt.
void secureRoundTripBare(benchmark::State& state, std::size_t size) {
    const Bytes bytes = randomBytes(size);
    const Bytes key = randomBytes(32);
    Bytes iv(16);
    for (auto _ : state) {
        RAND_bytes(iv.data(), 16);
        Bytes encrypted(size + 16);
        Bytes plain(size + 16);
        int n1 = 0;
        int n2 = 0;
        EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
        EVP_EncryptInit_ex(context, EVP_aes_256_cbc(), nullptr, key.data(), iv.data());
        EVP_EncryptUpdate(context, encrypted.data(), &n1, bytes.data(), static_cast<int>(size));
        EVP_EncryptFinal_ex(context, encrypted.data() + n1, &n2);
        const int encryptedSize = n1 + n2;
        EVP_CIPHER_CTX_reset(context);
        EVP_DecryptInit_ex(context, EVP_aes_256_cbc(), nullptr, key.data(), iv.data());
        EVP_DecryptUpdate(context, plain.data(), &n1, encrypted.data(), encryptedSize);
        EVP_DecryptFinal_ex(context, plain.data() + n1, &n2);
        EVP_CIPHER_CTX_free(context);
        benchmark::DoNotOptimize(plain.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void secureBase64Ours(benchmark::State& state, std::size_t size) {
    const Bytes bytes = randomBytes(size);
    const zam::SecureString secret(reinterpret_cast<const char*>(bytes.data()), size);
    for (auto _ : state) {
        const zam::SecureString restored =
            zam::SecureString::createFromBase64(secret.serializeToBase64());
        benchmark::DoNotOptimize(restored.empty());
    }
}

bool registerSecurityBenchmarks() {
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    struct Size {
        const char* name;
        std::size_t bytes;
    };
    for (const Size& size : {Size{"1M", kMiB}, Size{"16", 16}}) {
        const std::string encode = std::string("Base64Encode") + size.name + "/";
        const std::string decode = std::string("Base64Decode") + size.name + "/";
        const std::size_t n = size.bytes;
        benchmark::RegisterBenchmark((encode + "ours").c_str(), encodeOurs, n);
        benchmark::RegisterBenchmark((encode + "openssl").c_str(), encodeOpenssl, n);
#ifdef SF_BENCH_WITH_POCO
        benchmark::RegisterBenchmark((encode + "poco").c_str(), encodePoco, n);
#endif
        benchmark::RegisterBenchmark((decode + "ours").c_str(), decodeOurs, n, false);
        benchmark::RegisterBenchmark((decode + "openssl").c_str(), decodeOpenssl, n);
#ifdef SF_BENCH_WITH_POCO
        benchmark::RegisterBenchmark((decode + "poco").c_str(), decodePoco, n);
#endif
    }
    benchmark::RegisterBenchmark("Base64Decode1MLines/ours", decodeOurs, kMiB, true);

    for (const Size& size : {Size{"16", 16}, Size{"1K", 1024}}) {
        const std::string roundTrip = std::string("SecureStringRoundTrip") + size.name + "/";
        benchmark::RegisterBenchmark((roundTrip + "ours").c_str(), secureRoundTripOurs, size.bytes);
        benchmark::RegisterBenchmark((roundTrip + "bare").c_str(), secureRoundTripBare, size.bytes);
    }
    benchmark::RegisterBenchmark("SecureStringBase64RoundTrip1K", secureBase64Ours, 1024);
    return true;
}

const bool registered = registerSecurityBenchmarks();

}  // namespace
