#pragma once
// The byte streams the container operations read from and write to.

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

// Raised by a stream that cannot do what it was asked.
class EStreamError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class TStream
{
public:
    virtual ~TStream();
    // Reads up to `count` bytes from the current position; returns the number
    // delivered, 0 at the end.
    virtual std::int64_t Read(void *buffer, std::int64_t count) = 0;
    // Writes all `count` bytes or raises EStreamError.
    virtual void Write(const void *buffer, std::int64_t count) = 0;
    // Total size of the stream, whatever the current position.
    virtual std::int64_t Size() = 0;
};

enum class TFileMode
{
    OpenRead,  // an existing file, for reading
    Create,    // a new or emptied file, for writing
};

class TFileStream : public TStream
{
public:
    // Raises EStreamError with the system's reason when the file cannot be
    // opened or created.
    TFileStream(const std::string &path, TFileMode mode);
    ~TFileStream() override;
    TFileStream(const TFileStream &) = delete;
    TFileStream &operator=(const TFileStream &) = delete;

    std::int64_t Read(void *buffer, std::int64_t count) override;
    void Write(const void *buffer, std::int64_t count) override;
    std::int64_t Size() override;
    // Flushes and closes; raises EStreamError when buffered data could not be
    // written. The destructor closes silently.
    void Close();

private:
    [[noreturn]] void Fail(const char *what, int error) const;

    std::FILE *FFile = nullptr;
    std::string FPath;
};

// A read-only source over an area the caller keeps alive; it never copies or
// allocates.
class TAreaStream : public TStream
{
public:
    TAreaStream(const std::uint8_t *data, std::int64_t size) : FData(data), FSize(size) {}
    std::int64_t Read(void *buffer, std::int64_t count) override;
    void Write(const void *buffer, std::int64_t count) override;
    std::int64_t Size() override { return FSize; }

private:
    const std::uint8_t *FData;
    std::int64_t FSize;
    std::int64_t FPosition = 0;
};

class TMemoryStream : public TStream
{
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<std::uint8_t> data) : FData(std::move(data)) {}

    std::int64_t Read(void *buffer, std::int64_t count) override;
    // Overwrites at the position and grows the stream as needed.
    void Write(const void *buffer, std::int64_t count) override;
    std::int64_t Size() override { return std::int64_t(FData.size()); }

    std::int64_t Position() const { return FPosition; }
    void SetPosition(std::int64_t position);
    const std::vector<std::uint8_t> &Data() const { return FData; }

private:
    std::vector<std::uint8_t> FData;
    std::int64_t FPosition = 0;
};
