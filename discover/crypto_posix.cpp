#include <openssl/evp.h>
#include <openssl/rand.h>

#include "discover/crypto.h"

namespace {

std::string digest(const EVP_MD* method, const std::string& bytes)
{
    unsigned char result[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), result, &length, method, nullptr) != 1)
        return {};
    return std::string(reinterpret_cast<const char*>(result), length);
}

}  // namespace

std::string sha1Digest(const std::string& bytes)
{
    return digest(EVP_sha1(), bytes);
}

std::string md5Hex(const std::string& bytes)
{
    const std::string raw = digest(EVP_md5(), bytes);
    return raw.empty() ? raw : hexText(raw);
}

bool randomBytes(size_t count, std::string& bytes)
{
    bytes.assign(count, '\0');
    return RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<int>(count)) == 1;
}
