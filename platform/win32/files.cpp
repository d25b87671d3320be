// The Win32 file system: program files opened without sharing and kept only when they are disk
// files, text streams from files, pipes or standard input.
#include <windows.h>

#include "platform/system_parts.h"
#include "platform/win32/system_error.h"

namespace vorlanth::platform {

namespace {

class Win32File final : public ReadableFile {
  public:
    // A borrowed handle (standard input) is not closed with the object.
    explicit Win32File(HANDLE handle, bool owned = true) : handle_(handle), owned_(owned) {}
    ~Win32File() override {
        if (owned_) {
            CloseHandle(handle_);
        }
    }
    Win32File(const Win32File&) = delete;
    Win32File& operator=(const Win32File&) = delete;

    // The end of a pipe whose writer has gone is the end of the text, not a failure.
    std::int64_t read(std::span<std::uint8_t> buffer) override {
        DWORD count = 0;
        if (!ReadFile(handle_, buffer.data(), static_cast<DWORD>(buffer.size()), &count, nullptr)) {
            return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
        }
        return count;
    }

    std::int64_t size() override {
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(handle_, &size)) {
            return -1;
        }
        return size.QuadPart;
    }

    bool rewind() override {
        LARGE_INTEGER start{};
        return SetFilePointerEx(handle_, start, nullptr, FILE_BEGIN) != 0;
    }

  private:
    HANDLE handle_;
    bool owned_;
};

// The refusal of something that opens (or exists) but is not a file on a disk.
FailureDetail notRegular(const std::string& path, const char* kind) {
    return objectFailure(path, std::string("not a regular file: ") + kind);
}

// What GetFileType says a handle is, in the words of a message.
const char* kindOfFile(DWORD type) {
    switch (type) {
        case FILE_TYPE_CHAR:
            return "a character device";
        case FILE_TYPE_PIPE:
            return "a pipe";
        default:
            return "not a disk file";
    }
}

class Win32FileSystem final : public FileSystem {
  public:
    // Existing file only, no sharing; only what GetFileType reports as a disk file is kept
    // (a device such as NUL or COM1, or a pipe, is refused).
    std::unique_ptr<ReadableFile> openForReading(const std::string& path,
                                                 FailureDetail* why) override {
        HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            const DWORD attributes = GetFileAttributesA(path.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES &&
                (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                tell(why, notRegular(path, "a directory"));
            } else {
                tell(why, systemFailure(path, "cannot open", error));
            }
            return nullptr;
        }
        auto file = std::make_unique<Win32File>(handle);
        const DWORD type = GetFileType(handle);
        if (type != FILE_TYPE_DISK) {
            tell(why, notRegular(path, kindOfFile(type)));
            return nullptr;
        }
        return file;
    }

    // A disk file or a pipe; "-" is standard input, whatever it is.
    std::unique_ptr<ReadableFile> openTextStream(const std::string& path,
                                                 FailureDetail* why) override {
        if (path == "-") {
            HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
            if (input == nullptr || input == INVALID_HANDLE_VALUE) {
                tell(why, objectFailure("standard input", "not open"));
                return nullptr;
            }
            return std::make_unique<Win32File>(input, false);
        }
        HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            const DWORD attributes = GetFileAttributesA(path.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES &&
                (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                tell(why, notRegular(path, "a directory"));
            } else {
                tell(why, systemFailure(path, "cannot open", error));
            }
            return nullptr;
        }
        auto file = std::make_unique<Win32File>(handle);
        const DWORD type = GetFileType(handle);
        if (type != FILE_TYPE_DISK && type != FILE_TYPE_PIPE) {
            tell(why, notRegular(path, kindOfFile(type)));
            return nullptr;
        }
        return file;
    }

    std::optional<std::uint64_t> fileSize(const std::string& path) override {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
            (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return std::nullopt;
        }
        return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
};

}  // namespace

std::unique_ptr<FileSystem> makeSystemFileSystem() {
    return std::make_unique<Win32FileSystem>();
}

}  // namespace vorlanth::platform
