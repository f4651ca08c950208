#include "WYSCHelper/FileBytes.h"

#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr std::size_t kChunk = 256 * 1024;

bool ReadAll(int fd, unsigned char* buffer, std::size_t size, std::size_t* got)
{
    *got = 0;
    while (*got < size) {
        ssize_t n = ::read(fd, buffer + *got, size - *got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        *got += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

namespace FileBytes {

std::optional<CSharedFileStore::Digest> Sha256(int fd)
{
    if (::lseek(fd, 0, SEEK_SET) != 0)
        return std::nullopt;
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        return std::nullopt;
    std::vector<unsigned char> buffer(kChunk);
    for (;;) {
        std::size_t got = 0;
        if (!ReadAll(fd, buffer.data(), buffer.size(), &got))
            return std::nullopt;
        if (got == 0)
            break;
        if (EVP_DigestUpdate(context.get(), buffer.data(), got) != 1)
            return std::nullopt;
    }
    CSharedFileStore::Digest digest;
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1 || length != digest.size())
        return std::nullopt;
    return digest;
}

bool Same(int a, int b)
{
    if (::lseek(a, 0, SEEK_SET) != 0 || ::lseek(b, 0, SEEK_SET) != 0)
        return false;
    std::vector<unsigned char> left(kChunk);
    std::vector<unsigned char> right(kChunk);
    for (;;) {
        std::size_t gotLeft = 0;
        std::size_t gotRight = 0;
        if (!ReadAll(a, left.data(), left.size(), &gotLeft) ||
            !ReadAll(b, right.data(), right.size(), &gotRight))
            return false;
        if (gotLeft != gotRight || std::memcmp(left.data(), right.data(), gotLeft) != 0)
            return false;
        if (gotLeft == 0)
            return true;
    }
}

}  // namespace FileBytes
