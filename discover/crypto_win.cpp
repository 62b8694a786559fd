#include <windows.h>

#include <bcrypt.h>

#include "discover/crypto.h"

namespace {

std::string digest(LPCWSTR algorithm, const std::string& bytes)
{
    BCRYPT_ALG_HANDLE provider = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&provider, algorithm, nullptr, 0)))
        return {};
    std::string result;
    DWORD length = 0;
    ULONG written = 0;
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (BCRYPT_SUCCESS(BCryptGetProperty(provider, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&length),
                                         sizeof length, &written, 0)) &&
        BCRYPT_SUCCESS(BCryptCreateHash(provider, &hash, nullptr, 0, nullptr, 0, 0))) {
        std::string value(length, '\0');
        std::string input = bytes;
        if (BCRYPT_SUCCESS(BCryptHashData(hash, reinterpret_cast<PUCHAR>(input.data()),
                                          static_cast<ULONG>(input.size()), 0)) &&
            BCRYPT_SUCCESS(BCryptFinishHash(hash, reinterpret_cast<PUCHAR>(value.data()), length, 0)))
            result = value;
        BCryptDestroyHash(hash);
    }
    BCryptCloseAlgorithmProvider(provider, 0);
    return result;
}

}  // namespace

std::string sha1Digest(const std::string& bytes)
{
    return digest(BCRYPT_SHA1_ALGORITHM, bytes);
}

std::string md5Hex(const std::string& bytes)
{
    const std::string raw = digest(BCRYPT_MD5_ALGORITHM, bytes);
    return raw.empty() ? raw : hexText(raw);
}

bool randomBytes(size_t count, std::string& bytes)
{
    bytes.assign(count, '\0');
    return BCRYPT_SUCCESS(BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(bytes.data()),
                                          static_cast<ULONG>(count), BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}
