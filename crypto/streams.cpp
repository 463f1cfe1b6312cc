#include "streams.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

TStream::~TStream() = default;

TFileStream::TFileStream(const std::string &path, TFileMode mode) : FPath(path)
{
    errno = 0;
    FFile = std::fopen(path.c_str(), mode == TFileMode::OpenRead ? "rb" : "wb");
    if (!FFile)
        Fail(mode == TFileMode::OpenRead ? "Cannot open file" : "Cannot create file", errno);
}

TFileStream::~TFileStream()
{
    if (FFile)
        std::fclose(FFile);
}

void TFileStream::Fail(const char *what, int error) const
{
    throw EStreamError(std::string(what) + " \"" + FPath + "\". "
                       + (error ? std::strerror(error) : "Input/output error"));
}

std::int64_t TFileStream::Read(void *buffer, std::int64_t count)
{
    if (!FFile)
        Fail("Cannot read file", EBADF);
    if (count <= 0)
        return 0;
    errno = 0;
    const std::size_t n = std::fread(buffer, 1, std::size_t(count), FFile);
    if (n < std::size_t(count) && std::ferror(FFile))
        Fail("Cannot read file", errno);
    return std::int64_t(n);
}

void TFileStream::Write(const void *buffer, std::int64_t count)
{
    if (!FFile)
        Fail("Cannot write file", EBADF);
    if (count <= 0)
        return;
    errno = 0;
    if (std::fwrite(buffer, 1, std::size_t(count), FFile) != std::size_t(count))
        Fail("Cannot write file", errno);
}

std::int64_t TFileStream::Size()
{
    if (!FFile)
        Fail("Cannot read file", EBADF);
    errno = 0;
    const long position = std::ftell(FFile);
    if (position < 0 || std::fseek(FFile, 0, SEEK_END) != 0)
        Fail("Cannot read file", errno);
    const long size = std::ftell(FFile);
    if (size < 0 || std::fseek(FFile, position, SEEK_SET) != 0)
        Fail("Cannot read file", errno);
    return size;
}

void TFileStream::Close()
{
    if (!FFile)
        return;
    errno = 0;
    const bool ok = std::fclose(FFile) == 0;
    FFile = nullptr;
    if (!ok)
        Fail("Cannot write file", errno);
}

std::int64_t TMemoryStream::Read(void *buffer, std::int64_t count)
{
    const std::int64_t available = std::int64_t(FData.size()) - FPosition;
    const std::int64_t n = count < available ? count : available;
    if (n <= 0)
        return 0;
    std::memcpy(buffer, FData.data() + FPosition, std::size_t(n));
    FPosition += n;
    return n;
}

void TMemoryStream::Write(const void *buffer, std::int64_t count)
{
    if (count <= 0)
        return;
    const std::size_t end = std::size_t(FPosition + count);
    if (end > FData.size())
        FData.resize(end);
    std::memcpy(FData.data() + FPosition, buffer, std::size_t(count));
    FPosition += count;
}

void TMemoryStream::SetPosition(std::int64_t position)
{
    if (position < 0 || position > std::int64_t(FData.size()))
        throw EStreamError("Stream position out of range");
    FPosition = position;
}

std::int64_t TAreaStream::Read(void *buffer, std::int64_t count)
{
    const std::int64_t n = std::max<std::int64_t>(0, std::min(count, FSize - FPosition));
    if (n > 0)
        std::memcpy(buffer, FData + FPosition, std::size_t(n));
    FPosition += n;
    return n;
}

void TAreaStream::Write(const void *, std::int64_t)
{
    throw EStreamError("the stream is read-only");
}
