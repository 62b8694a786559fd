#pragma once

#include <cstddef>
#include <string>

// The digests and random bytes of the camera log-ins, from the system on
// Windows (BCrypt) and from libcrypto elsewhere. Byte strings in and out.

// The 20 bytes of SHA-1, or "" when the system offers none.
std::string sha1Digest(const std::string& bytes);
// MD5 in lower-case hex, as HTTP Digest writes it; "" when the system offers none.
std::string md5Hex(const std::string& bytes);
// `count` bytes from the system's random source; false when it fails.
bool randomBytes(size_t count, std::string& bytes);

std::string base64(const std::string& bytes);
std::string hexText(const std::string& bytes);
