#include "config/config_store.h"

#include <windows.h>

#include <cstring>
#include <utility>

namespace {

// Owns a file handle for the length of one read or write.
class ScopedFile {
public:
    explicit ScopedFile(HANDLE handle) : handle_(handle) {}
    ~ScopedFile()
    {
        if (IsValid())
            CloseHandle(handle_);
    }
    ScopedFile(const ScopedFile&) = delete;
    ScopedFile& operator=(const ScopedFile&) = delete;

    bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

// The permutation's generator: x <- x * kMultiplier mod kModulus, the prime 2^32 - 5.
constexpr uint64_t kMultiplier = 1835786643u;
constexpr uint64_t kModulus = 4294967291u;

constexpr uint64_t PowerMod(uint64_t base, uint64_t exponent)
{
    uint64_t result = 1;
    base %= kModulus;
    while (exponent) {
        if (exponent & 1)
            result = result * base % kModulus;
        base = base * base % kModulus;
        exponent >>= 1;
    }
    return result;
}

// Stepping the generator backwards lets unscrambling replay the exchanges in reverse
// without keeping the whole sequence of positions (4 bytes per file byte).
constexpr uint64_t kInverseMultiplier = PowerMod(kMultiplier, kModulus - 2);
static_assert(kMultiplier * kInverseMultiplier % kModulus == 1, "inverse of the multiplier");

inline uint64_t Step(uint64_t x) { return x * kMultiplier % kModulus; }

}  // namespace

SharedRef<ConfigPath> MakeConfigPath(const char* path)
{
    if (!path || !*path)
        return SharedRef<ConfigPath>();
    return MakeShared<ConfigPath>(ConfigPath{path});
}

bool ConfigText::ReadFileText(const SharedRef<ConfigPath>& path, uint32_t seed)
{
    if (!path)
        return false;
    ScopedFile file(CreateFileA(path->path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return false;
    // Only the low 32 bits count; a file of 4 GB or more could not be held anyway.
    const DWORD size = GetFileSize(file.Get(), nullptr);
    if (size == 0 || size == INVALID_FILE_SIZE)
        return false;
    std::unique_ptr<char[]> storage(new (std::nothrow) char[size + 1]());
    if (!storage)
        return false;
    DWORD read = 0;
    if (!ReadFile(file.Get(), storage.get(), size, &read, nullptr) || read < size)
        return false;

    storage_ = std::move(storage);
    data_ = storage_.get();
    length_ = size;
    position_ = 0;
    if (seed != 0)
        UnscrambleText(seed);
    return true;
}

bool ConfigText::WriteFileText(const SharedRef<ConfigPath>& path, uint32_t seed) const
{
    const char* bytes = data_;
    ConfigText scrambled;
    if (seed != 0 && length_ != 0) {
        if (!scrambled.Assign(data_, length_))
            return false;
        scrambled.ScrambleText(seed);
        bytes = scrambled.Data();
    }
    if (!path)
        return false;

    // Creating over a hidden or system file with other attributes is refused, and the
    // file keeps what it had; a read-only file cannot be replaced at all.
    DWORD attributes = GetFileAttributesA(path->path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        attributes = FILE_ATTRIBUTE_NORMAL;
    ScopedFile file(CreateFileA(path->path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr));
    if (!file.IsValid())
        return false;
    DWORD written = 0;
    if (length_ != 0 && !WriteFile(file.Get(), bytes, static_cast<DWORD>(length_), &written, nullptr))
        return false;
    return written == length_;
}

void ConfigText::ScrambleText(uint32_t seed)
{
    const size_t n = length_;
    if (!data_ || n == 0)
        return;
    uint64_t x = seed;
    for (size_t i = 0; i < n; ++i) {
        x = Step(x);
        std::swap(data_[i], data_[x % n]);
    }
}

void ConfigText::UnscrambleText(uint32_t seed)
{
    const size_t n = length_;
    if (!data_ || n == 0)
        return;
    uint64_t x = seed;
    for (size_t i = 0; i < n; ++i)
        x = Step(x);
    // x is now the value that chose the last exchange; undo the exchanges last first.
    for (size_t i = n; i-- > 0;) {
        std::swap(data_[i], data_[x % n]);
        x = x * kInverseMultiplier % kModulus;
    }
}
