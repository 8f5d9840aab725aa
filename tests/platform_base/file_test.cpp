#include "platform/base/file.h"
#include "platform/base/sync.h"

#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace {

HANDLE OpenForReadWrite(const std::string& path, DWORD disposition) {
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       disposition, 0, nullptr);
}

HANDLE OpenForRead(const std::string& path) {
    return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                       nullptr);
}

TEST(File, ReadsAreExactUntilTheEndOfTheFile) {
    TempDir dir;
    const std::string path = dir.write("ten.bin", "0123456789");
    HANDLE file = OpenForRead(path);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);

    char buffer[16] = {};
    DWORD done = 99;
    ASSERT_TRUE(ReadFile(file, buffer, 4, &done, nullptr));
    EXPECT_EQ(done, 4u);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    ASSERT_TRUE(ReadFile(file, buffer, 10, &done, nullptr));
    EXPECT_EQ(done, 6u) << "short only at the end";
    EXPECT_EQ(std::string(buffer, 6), "456789");
    ASSERT_TRUE(ReadFile(file, buffer, 10, &done, nullptr));
    EXPECT_EQ(done, 0u);
    EXPECT_TRUE(CloseHandle(file));
}

TEST(File, SeeksBeyondFourGigabytesInBothForms) {
    TempDir dir;
    const std::string path = dir.file("sparse.bin");
    HANDLE file = OpenForReadWrite(path, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);

    // Split form: low 0x10, high 1 = 0x1'0000'0010.
    LONG high = 1;
    ASSERT_EQ(SetFilePointer(file, 0x10, &high, FILE_BEGIN), 0x10u);
    EXPECT_EQ(high, 1);
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(file, "abc", 3, &done, nullptr));
    EXPECT_EQ(done, 3u);

    LARGE_INTEGER size{};
    ASSERT_TRUE(GetFileSizeEx(file, &size));
    EXPECT_EQ(size.QuadPart, 0x100000013LL);

    LARGE_INTEGER zero{};
    LARGE_INTEGER position{};
    ASSERT_TRUE(SetFilePointerEx(file, zero, &position, FILE_CURRENT));
    EXPECT_EQ(position.QuadPart, 0x100000013LL);

    // -3 in the split form is low 0xFFFFFFFD with high -1.
    high = -1;
    ASSERT_EQ(SetFilePointer(file, -3, &high, FILE_CURRENT), 0x10u);
    EXPECT_EQ(high, 1);
    char buffer[3] = {};
    ASSERT_TRUE(ReadFile(file, buffer, 3, &done, nullptr));
    EXPECT_EQ(std::string(buffer, 3), "abc");

    LARGE_INTEGER back{};
    back.QuadPart = -3;
    ASSERT_TRUE(SetFilePointerEx(file, back, &position, FILE_END));
    EXPECT_EQ(position.QuadPart, 0x100000010LL);
    EXPECT_EQ(position.HighPart, 1);
    EXPECT_EQ(position.LowPart, 0x10u);

    // A position whose low part is 0xFFFFFFFF is told from a failure by the last error.
    SetLastError(ERROR_GEN_FAILURE);
    high = 0;
    EXPECT_EQ(SetFilePointer(file, -1, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_EQ(high, 0);
    ASSERT_TRUE(SetFilePointerEx(file, zero, &position, FILE_CURRENT));
    EXPECT_EQ(position.QuadPart, 0xFFFFFFFFLL);

    // Without a high part the distance is signed 32-bit and the result must fit 32 bits.
    EXPECT_EQ(SetFilePointer(file, -0xF, nullptr, FILE_CURRENT), 0xFFFFFFF0u);
    SetLastError(0);
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    ASSERT_TRUE(SetFilePointerEx(file, zero, &position, FILE_CURRENT));
    EXPECT_EQ(position.QuadPart, 0xFFFFFFF0LL) << "a failed seek leaves the position";

    SetLastError(0);
    high = -1;
    EXPECT_EQ(SetFilePointer(file, -1, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
    EXPECT_FALSE(SetFilePointerEx(file, zero, nullptr, 7));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    CloseHandle(file);
}

TEST(File, WritesThroughAReadOnlyHandleOrToAReadOnlyFileFail) {
    TempDir dir;
    const std::string path = dir.write("keep.txt", "original");
    HANDLE file = OpenForRead(path);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD done = 5;
    SetLastError(0);
    EXPECT_FALSE(WriteFile(file, "xx", 2, &done, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(done, 0u);
    CloseHandle(file);
    EXPECT_EQ(dir.read("keep.txt"), "original");

    HANDLE write_only = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(write_only, INVALID_HANDLE_VALUE);
    char buffer[4];
    EXPECT_FALSE(ReadFile(write_only, buffer, 4, &done, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    CloseHandle(write_only);

    if (::geteuid() != 0) {  // root writes regardless of the mode bits
        ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
        SetLastError(0);
        EXPECT_EQ(OpenForReadWrite(path, OPEN_EXISTING), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    }
}

TEST(File, DispositionsAndTheirErrors) {
    TempDir dir;
    const std::string missing = dir.file("missing.bin");
    SetLastError(0);
    EXPECT_EQ(OpenForRead(missing), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(OpenForRead(dir.file("no/such/folder.bin")), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

    const std::string existing = dir.write("existing.bin", "data");
    EXPECT_EQ(OpenForReadWrite(existing, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);

    HANDLE file = OpenForReadWrite(existing, OPEN_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    CloseHandle(file);
    EXPECT_EQ(dir.read("existing.bin"), "data") << "open-always keeps the contents";

    file = OpenForReadWrite(missing, OPEN_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    CloseHandle(file);
    EXPECT_TRUE(std::filesystem::exists(missing));

    file = OpenForReadWrite(existing, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    CloseHandle(file);
    EXPECT_EQ(dir.read("existing.bin"), "");

    dir.write("trunc.bin", "12345");
    EXPECT_EQ(CreateFileW(dir.file("trunc.bin").c_str(), GENERIC_READ, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    file = OpenForReadWrite(dir.file("trunc.bin"), TRUNCATE_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size{};
    EXPECT_TRUE(GetFileSizeEx(file, &size));
    EXPECT_EQ(size.QuadPart, 0);
    CloseHandle(file);
}

TEST(File, FoldersAttributesAndDeletion) {
    TempDir dir;
    const std::string folder = dir.file("sub");
    EXPECT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    SetLastError(0);
    EXPECT_FALSE(CreateDirectoryW(folder.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(CreateDirectoryW(dir.file("a/b").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

    const std::string file = dir.write("f.txt", "x");
    EXPECT_EQ(GetFileAttributesW(folder.c_str()), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesW(file.c_str()), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(GetFileAttributesW(dir.file("none").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(OpenForRead(folder), INVALID_HANDLE_VALUE) << "a folder is not a file";
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

    EXPECT_TRUE(DeleteFileW(file.c_str()));
    EXPECT_FALSE(DeleteFileW(file.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(DeleteFileW(folder.c_str()));
}

TEST(File, FileHandlesShareTheKernelHandleTable) {
    TempDir dir;
    const std::string path = dir.write("h.bin", "abc");
    HANDLE file = OpenForRead(path);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SetLastError(0);
    EXPECT_EQ(WaitForSingleObject(file, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_TRUE(CloseHandle(file));

    char buffer[3];
    DWORD done = 7;
    EXPECT_FALSE(ReadFile(file, buffer, 3, &done, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(done, 0u);
    EXPECT_FALSE(ReadFile(INVALID_HANDLE_VALUE, buffer, 3, &done, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    EXPECT_FALSE(WriteFile(event, "a", 1, &done, nullptr)) << "an event is no file";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetFilePointer(event, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    CloseHandle(event);
}

TEST(File, SetEndOfFileCutsAtThePosition) {
    TempDir dir;
    const std::string path = dir.write("cut.bin", "0123456789");
    HANDLE file = OpenForReadWrite(path, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ASSERT_EQ(SetFilePointer(file, 4, nullptr, FILE_BEGIN), 4u);
    EXPECT_TRUE(SetEndOfFile(file));
    EXPECT_TRUE(FlushFileBuffers(file));
    CloseHandle(file);
    EXPECT_EQ(dir.read("cut.bin"), "0123");
}

TEST(File, PhysicalDriveNamesADiskNeverAFile) {
    // A file that happens to carry the name must not be taken for the drive.
    TempDir dir;
    const std::string name = "\\\\.\\PhysicalDrive~";  // '~' - '0' = 78: no machine has that many disks
    dir.write(name, "not a disk");
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    SetLastError(0);
    HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    const DWORD error = GetLastError();
    std::filesystem::current_path(cwd);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

TEST(File, ModuleFileNameIsThisProgram) {
    const std::string path = GetModuleFileNameW();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.front(), '/');
    EXPECT_EQ(std::filesystem::path(path).filename(), "test_platform_base");
}

}  // namespace
