// Base64 family and secure string, side by side with OpenSSL (EVP_EncodeBlock/EVP_DecodeBlock,
// its line-breaking EVP_Encode*/EVP_Decode* stream, bare EVP AES-256-CBC) and, when Poco is
// installed, Poco's Base64 streams. Every variant produces its result as an owned string or vector,
// as ours does, so allocation is on both sides of each ratio. With line breaks each library writes
// its own format: ours and Poco 72 characters and "\r\n", OpenSSL 64 characters and "\n".
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

std::string opensslEncodeLines(const Bytes& bytes) {
    EVP_ENCODE_CTX* context = EVP_ENCODE_CTX_new();
    std::string text(4 * ((bytes.size() + 2) / 3) + bytes.size() / 48 + 66, '\0');
    auto* out = reinterpret_cast<unsigned char*>(&text[0]);
    int written = 0;
    int last = 0;
    EVP_EncodeInit(context);
    EVP_EncodeUpdate(context, out, &written, bytes.data(), static_cast<int>(bytes.size()));
    EVP_EncodeFinal(context, out + written, &last);
    EVP_ENCODE_CTX_free(context);
    text.resize(static_cast<std::size_t>(written + last));
    return text;
}

Bytes opensslDecodeLines(const std::string& text) {
    EVP_ENCODE_CTX* context = EVP_ENCODE_CTX_new();
    Bytes bytes(3 * (text.size() / 4) + 3);
    int written = 0;
    int last = 0;
    EVP_DecodeInit(context);
    EVP_DecodeUpdate(context, bytes.data(), &written,
                     reinterpret_cast<const unsigned char*>(text.data()),
                     static_cast<int>(text.size()));
    EVP_DecodeFinal(context, bytes.data() + written, &last);
    EVP_ENCODE_CTX_free(context);
    bytes.resize(static_cast<std::size_t>(written + last));
    return bytes;
}

#ifdef SF_BENCH_WITH_POCO
std::string pocoEncode(const Bytes& bytes, bool lineBreaks) {
    std::ostringstream text;
    Poco::Base64Encoder encoder(text);
    if (!lineBreaks) {
        encoder.rdbuf()->setLineLength(0);
    }
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

void encodeOurs(benchmark::State& state, std::size_t size, bool lineBreaks) {
    const Bytes bytes = randomBytes(size);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            zam::base64_encode(bytes.data(), static_cast<unsigned int>(size), lineBreaks));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void encodeOpenssl(benchmark::State& state, std::size_t size, bool lineBreaks) {
    const Bytes bytes = randomBytes(size);
    for (auto _ : state) {
        benchmark::DoNotOptimize(lineBreaks ? opensslEncodeLines(bytes) : opensslEncode(bytes));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void decodeOurs(benchmark::State& state, std::size_t size, bool lineBreaks) {
    const Bytes bytes = randomBytes(size);
    const std::string text =
        zam::base64_encode(bytes.data(), static_cast<unsigned int>(size), lineBreaks);
    for (auto _ : state) {
        Bytes out;
        const int result = zam::base64_decode(text, out);
        benchmark::DoNotOptimize(result);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void decodeOpenssl(benchmark::State& state, std::size_t size, bool lineBreaks) {
    const Bytes bytes = randomBytes(size);
    const std::string text = lineBreaks ? opensslEncodeLines(bytes) : opensslEncode(bytes);
    if ((lineBreaks ? opensslDecodeLines(text) : opensslDecode(text)) != bytes) {
        state.SkipWithError("OpenSSL does not give the bytes back");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(lineBreaks ? opensslDecodeLines(text) : opensslDecode(text));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

#ifdef SF_BENCH_WITH_POCO
void encodePoco(benchmark::State& state, std::size_t size, bool lineBreaks) {
    const Bytes bytes = randomBytes(size);
    for (auto _ : state) {
        benchmark::DoNotOptimize(pocoEncode(bytes, lineBreaks));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void decodePoco(benchmark::State& state, std::size_t size, bool lineBreaks) {
    const Bytes bytes = randomBytes(size);
    const std::string text = pocoEncode(bytes, lineBreaks);
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

// The same serialised bytes through OpenSSL's Base64 (and Poco's), there and back.
void secureBase64Openssl(benchmark::State& state, std::size_t size) {
    const Bytes bytes = randomBytes(size);
    const Bytes serialised =
        zam::SecureString(reinterpret_cast<const char*>(bytes.data()), size).getEncryptedValue();
    for (auto _ : state) {
        benchmark::DoNotOptimize(opensslDecode(opensslEncode(serialised)));
    }
}

#ifdef SF_BENCH_WITH_POCO
void secureBase64Poco(benchmark::State& state, std::size_t size) {
    const Bytes bytes = randomBytes(size);
    const Bytes serialised =
        zam::SecureString(reinterpret_cast<const char*>(bytes.data()), size).getEncryptedValue();
    for (auto _ : state) {
        benchmark::DoNotOptimize(pocoDecode(pocoEncode(serialised, false)));
    }
}
#endif

bool registerSecurityBenchmarks() {
    struct Size {
        const char* name;
        std::size_t bytes;
    };
    const Size base64Sizes[] = {{"16B", 16}, {"1MiB", std::size_t{1} << 20}};
    for (const Size& size : base64Sizes) {
        for (const bool lines : {false, true}) {
            const std::string encode =
                std::string(lines ? "Base64EncodeLines_" : "Base64Encode_") + size.name + "/";
            const std::string decode =
                std::string(lines ? "Base64DecodeLines_" : "Base64Decode_") + size.name + "/";
            const std::size_t n = size.bytes;
            benchmark::RegisterBenchmark((encode + "ours").c_str(), encodeOurs, n, lines);
            benchmark::RegisterBenchmark((encode + "openssl").c_str(), encodeOpenssl, n, lines);
            benchmark::RegisterBenchmark((decode + "ours").c_str(), decodeOurs, n, lines);
            benchmark::RegisterBenchmark((decode + "openssl").c_str(), decodeOpenssl, n, lines);
#ifdef SF_BENCH_WITH_POCO
            benchmark::RegisterBenchmark((encode + "poco").c_str(), encodePoco, n, lines);
            benchmark::RegisterBenchmark((decode + "poco").c_str(), decodePoco, n, lines);
#endif
        }
    }
    const Size secretSizes[] = {{"16B", 16}, {"1KiB", 1024}};
    for (const Size& size : secretSizes) {
        const std::string roundTrip = std::string("SecureStringRoundTrip_") + size.name + "/";
        const std::string base64 = std::string("SecureStringBase64_") + size.name + "/";
        benchmark::RegisterBenchmark((roundTrip + "ours").c_str(), secureRoundTripOurs, size.bytes);
        benchmark::RegisterBenchmark((roundTrip + "bare").c_str(), secureRoundTripBare, size.bytes);
        benchmark::RegisterBenchmark((base64 + "ours").c_str(), secureBase64Ours, size.bytes);
        benchmark::RegisterBenchmark((base64 + "openssl").c_str(), secureBase64Openssl, size.bytes);
#ifdef SF_BENCH_WITH_POCO
        benchmark::RegisterBenchmark((base64 + "poco").c_str(), secureBase64Poco, size.bytes);
#endif
    }
    return true;
}

const bool registered = registerSecurityBenchmarks();

}  // namespace
