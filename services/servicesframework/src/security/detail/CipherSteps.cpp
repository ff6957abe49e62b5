#include "security/detail/CipherSteps.h"

#include <zam/ByteBlob.h>

#include "security/SecureStringKey.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>

namespace zam::detail {

namespace {

constexpr std::size_t kDefaultChunkSize = std::size_t{1} << 30;

std::atomic<std::size_t> chunkSize{kDefaultChunkSize};

struct ContextDeleter {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using Context = std::unique_ptr<EVP_CIPHER_CTX, ContextDeleter>;

Context newContext() {
    Context context(EVP_CIPHER_CTX_new());
    if (context && EVP_CIPHER_CTX_reset(context.get()) != 1) {
        context.reset();
    }
    return context;
}

// AES-256-CBC, fetched from the default provider once: the implicit fetch behind
// EVP_aes_256_cbc() on every init costs more than encrypting a short value. Falls back to the
// implicit form when the fetch fails. Never freed: it lives as long as the process.
const EVP_CIPHER* aes256Cbc() {
    static const EVP_CIPHER* const cipher = [] {
        const EVP_CIPHER* fetched = EVP_CIPHER_fetch(nullptr, "AES-256-CBC", nullptr);
        return fetched != nullptr ? fetched : EVP_aes_256_cbc();
    }();
    return cipher;
}

// IVs are taken from RAND_bytes sixteen at a time: one call costs as much as the rest of a short
// value's encryption, and its price hardly depends on the length asked for. The bytes are as
// random as one call per IV would give, and each is handed out once. A forked child must not
// hand out the IVs its parent still holds, so a fork empties every thread's pool.
constexpr std::size_t kPooledIvs = 16;

std::atomic<std::uint64_t> forkGeneration{0};

void countFork() {
    forkGeneration.fetch_add(1, std::memory_order_acq_rel);
}

[[maybe_unused]] const int forkWatch = pthread_atfork(nullptr, nullptr, &countFork);

struct IvPool {
    unsigned char bytes[kPooledIvs * SECURE_STRING_IV_SIZE];
    std::size_t used = kPooledIvs;  // all used up: the next IV fetches a fresh set
    std::uint64_t generation = 0;
};

thread_local IvPool ivPool;

bool keyAndIvFit(const ByteBlob& key, const ByteBlob& iv) {
    return key.size() == SECURE_STRING_KEY_SIZE && iv.size() == SECURE_STRING_IV_SIZE;
}

// Runs `update` (EVP_EncryptUpdate or EVP_DecryptUpdate) over the input one chunk at a time, then
// `final`, and sets `written` to the number of bytes they wrote. False when OpenSSL fails.
template <typename Update, typename Final>
bool runCipher(EVP_CIPHER_CTX* context, Update update, Final final, const unsigned char* in,
               std::uint64_t count, unsigned char* out, std::uint64_t& written) {
    const std::uint64_t chunk = cipherChunkSize();
    written = 0;
    for (std::uint64_t done = 0; done < count;) {
        const auto length = static_cast<int>(std::min<std::uint64_t>(chunk, count - done));
        int produced = 0;
        if (update(context, out + written, &produced, in + done, length) != 1 || produced < 0) {
            return false;
        }
        done += static_cast<std::uint64_t>(length);
        written += static_cast<std::uint64_t>(produced);
    }
    int produced = 0;
    if (final(context, out + written, &produced) != 1 || produced < 0) {
        return false;
    }
    written += static_cast<std::uint64_t>(produced);
    return true;
}

}  // namespace

std::size_t cipherChunkSize() noexcept {
    return chunkSize.load(std::memory_order_relaxed);
}

void setCipherChunkSize(std::size_t bytes) noexcept {
    const std::size_t value = bytes == 0 ? kDefaultChunkSize : std::min(bytes, kDefaultChunkSize);
    chunkSize.store(value, std::memory_order_relaxed);
}

bool createIv(ByteBlob& iv) {
    if (!iv.reallocate(SECURE_STRING_IV_SIZE)) {
        iv.release();
        return false;
    }
    IvPool& pool = ivPool;
    const std::uint64_t generation = forkGeneration.load(std::memory_order_acquire);
    if (pool.used == kPooledIvs || pool.generation != generation) {
        pool.used = kPooledIvs;
        if (RAND_bytes(pool.bytes, static_cast<int>(sizeof(pool.bytes))) != 1) {
            iv.release();
            return false;
        }
        pool.used = 0;
        pool.generation = generation;
    }
    unsigned char* next = pool.bytes + pool.used * SECURE_STRING_IV_SIZE;
    std::memcpy(iv.data(), next, SECURE_STRING_IV_SIZE);
    std::memset(next, 0, SECURE_STRING_IV_SIZE);
    ++pool.used;
    return true;
}

void discardPooledIvs() noexcept {
    ivPool.used = kPooledIvs;
}

bool encryptValue(const ByteBlob& key, const ByteBlob& iv, const unsigned char* plain,
                  std::uint64_t count, ByteBlob& out) {
    // Room for the whole value and a block of padding, as the cipher may write before the final
    // count is known.
    const std::uint64_t room = count + 2 * SECURE_STRING_BLOCK_SIZE;
    Context context = newContext();
    std::uint64_t written = 0;
    const bool ok =
        plain != nullptr && room > count && keyAndIvFit(key, iv) && context &&
        out.reallocate(room) &&
        EVP_EncryptInit_ex(context.get(), aes256Cbc(), nullptr, key.data(), iv.data()) == 1 &&
        runCipher(context.get(), EVP_EncryptUpdate, EVP_EncryptFinal_ex, plain, count, out.data(),
                  written);
    if (!ok) {
        out.release();
        return false;
    }
    out.shrink(written);
    return true;
}

bool decryptValue(const ByteBlob& key, const ByteBlob& iv, const ByteBlob& encrypted,
                  ByteBlob& plain) {
    Context context = newContext();
    std::uint64_t written = 0;
    // The plain text is never longer than the ciphertext, whatever the chunking.
    const bool ok =
        encrypted.size() != 0 && encrypted.size() % SECURE_STRING_BLOCK_SIZE == 0 &&
        keyAndIvFit(key, iv) && context && plain.reallocate(encrypted.size()) &&
        EVP_DecryptInit_ex(context.get(), aes256Cbc(), nullptr, key.data(), iv.data()) == 1 &&
        runCipher(context.get(), EVP_DecryptUpdate, EVP_DecryptFinal_ex, encrypted.data(),
                  encrypted.size(), plain.data(), written);
    if (!ok) {
        plain.release();
        return false;
    }
    plain.shrink(written);
    return true;
}

}  // namespace zam::detail
