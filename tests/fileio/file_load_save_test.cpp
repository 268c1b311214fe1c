#include "fileio/file_access.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>
#include <windows.h>

namespace {

// A scratch folder of the test's own, removed with everything in it.
class FileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char szTemp[MAX_PATH];
        ASSERT_NE(GetTempPathA(MAX_PATH, szTemp), 0u);
        m_dir = std::string(szTemp) + "hexbin-fileio-" + std::to_string(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryA(m_dir.c_str(), NULL) || GetLastError() == ERROR_ALREADY_EXISTS);
    }
    void TearDown() override
    {
        for (const std::string& path : m_files) DeleteFileA(path.c_str());
        RemoveDirectoryA(m_dir.c_str());
    }

    std::string Path(const char* szName)
    {
        m_files.push_back(m_dir + "\\" + szName);
        return m_files.back();
    }

    std::string m_dir;
    std::vector<std::string> m_files;
};

void WriteWhole(const std::string& path, const std::vector<BYTE>& bytes)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD cb = 0;
    EXPECT_TRUE(bytes.empty() || WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &cb, NULL));
    CloseHandle(h);
}

std::vector<BYTE> ReadWhole(const std::string& path)
{
    std::vector<BYTE> bytes;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE) return bytes;
    bytes.resize(GetFileSize(h, NULL));
    DWORD cb = 0;
    if (!bytes.empty()) ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &cb, NULL);
    bytes.resize(cb);
    CloseHandle(h);
    return bytes;
}

// A file of the given size that occupies (almost) no disk.
void MakeSparse(const std::string& path, LONGLONG cb)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD cbRet = 0;
    DeviceIoControl(h, FSCTL_SET_SPARSE, NULL, 0, NULL, 0, &cbRet, NULL);
    LARGE_INTEGER li;
    li.QuadPart = cb;
    EXPECT_TRUE(SetFilePointerEx(h, li, NULL, FILE_BEGIN));
    EXPECT_TRUE(SetEndOfFile(h));
    CloseHandle(h);
}

std::vector<BYTE> Pattern(size_t n)
{
    std::vector<BYTE> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<BYTE>(i * 7 + 3);
    return bytes;
}

TEST_F(FileTest, LoadReadsWholeFileFollowedByZero)
{
    for (size_t n : {0u, 1u, 4096u, 300001u}) {
        SCOPED_TRACE(n);
        const std::string path = Path(("load" + std::to_string(n)).c_str());
        const std::vector<BYTE> bytes = Pattern(n);
        WriteWhole(path, bytes);

        BYTE* pData = NULL;
        DWORD cbData = 12345;
        ASSERT_TRUE(LoadFileBytes(path.c_str(), &pData, &cbData));
        ASSERT_NE(pData, nullptr);
        EXPECT_EQ(cbData, n);
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), pData));
        EXPECT_EQ(pData[n], 0);
        EXPECT_GE(GlobalSize(pData), n + 1);
        GlobalFree(pData);
    }
}

TEST_F(FileTest, LoadFailureLeavesCallerUntouched)
{
    const std::string locked = Path("locked");
    WriteWhole(locked, Pattern(10));
    // Held open with write access (sharing reads and writes): the load does not
    // grant writing, so it cannot open the file. Share modes are per handle, so
    // a handle of this process stands for another process here.
    HANDLE hWriter = CreateFileA(locked.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                 OPEN_EXISTING, 0, NULL);
    ASSERT_NE(hWriter, INVALID_HANDLE_VALUE);

    // Sizes whose low 32 bits alone would load as a small file, or whose zero
    // byte would not fit: 4 GiB + 10 bytes, and 4 GiB - 1.
    const std::string huge = Path("huge");
    MakeSparse(huge, (LONGLONG{1} << 32) + 10);
    const std::string almost = Path("almost");
    MakeSparse(almost, (LONGLONG{1} << 32) - 1);

    const struct {
        const char* szWhat;
        std::string path;
    } kCases[] = {
        {"missing", m_dir + "\\no such file"},
        {"missing folder", m_dir + "\\no such folder\\file"},
        {"held open for writing", locked},
        {"4 GiB + 10", huge},
        {"4 GiB - 1", almost},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.szWhat);
        BYTE bSentinel = 0;
        BYTE* pData = &bSentinel;
        DWORD cbData = 12345;
        EXPECT_FALSE(LoadFileBytes(c.path.c_str(), &pData, &cbData));
        EXPECT_EQ(pData, &bSentinel);
        EXPECT_EQ(cbData, 12345u);
    }
    CloseHandle(hWriter);
}

TEST_F(FileTest, SaveReplacesWholeFileAndReportsBytesWritten)
{
    const struct {
        const char* szWhat;
        size_t cbBefore;  // SIZE_MAX: no file before
        size_t cbSave;
    } kCases[] = {
        {"new file", SIZE_MAX, 1000},
        {"over a longer file", 5000, 17},
        {"over a shorter file", 3, 70000},
        {"nothing, over a file", 100, 0},
        {"nothing, new file", SIZE_MAX, 0},
    };
    int i = 0;
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.szWhat);
        const std::string path = Path(("save" + std::to_string(i++)).c_str());
        if (c.cbBefore != SIZE_MAX) WriteWhole(path, std::vector<BYTE>(c.cbBefore, 0xEE));
        const std::vector<BYTE> bytes = Pattern(c.cbSave);
        EXPECT_EQ(SaveFileBytes(path.c_str(), bytes.data(), static_cast<DWORD>(bytes.size())), c.cbSave);
        EXPECT_EQ(GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES, true);
        EXPECT_EQ(ReadWhole(path), bytes);
    }
}

TEST_F(FileTest, SaveFailsWhenFileCannotBeCreated)
{
    const std::string held = Path("held");
    WriteWhole(held, Pattern(40));
    HANDLE hOther = CreateFileA(held.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(hOther, INVALID_HANDLE_VALUE);

    const std::vector<BYTE> bytes = Pattern(10);
    EXPECT_EQ(SaveFileBytes(held.c_str(), bytes.data(), 10), 0u);
    EXPECT_EQ(SaveFileBytes((m_dir + "\\no such folder\\out").c_str(), bytes.data(), 10), 0u);
    CloseHandle(hOther);
    EXPECT_EQ(ReadWhole(held), Pattern(40));  // untouched
}

// On a full disk the write stops short (Wine even reports it as a success
// with a short count): the save must not claim any byte, nor leave the part
// that fitted behind. The filesystem is a small tmpfs the test run mounts
// (see tests/CMakeLists.txt).
TEST_F(FileTest, SaveOnFullDiskReportsShortCount)
{
    char szUnix[MAX_PATH];
    const DWORD cch = GetEnvironmentVariableA("HEXBIN_SMALLFS", szUnix, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH) GTEST_SKIP() << "HEXBIN_SMALLFS not set: no small filesystem to fill";
    std::string dir = std::string("Z:") + szUnix;
    for (char& ch : dir) ch = ch == '/' ? '\\' : ch;

    ULARGE_INTEGER cbFree;
    if (!GetDiskFreeSpaceExA(dir.c_str(), &cbFree, NULL, NULL) || cbFree.QuadPart > (1u << 20)) {
        GTEST_SKIP() << dir << " is not a small mounted filesystem (was the mount refused?)";
    }

    const std::string path = dir + "\\full";
    const std::vector<BYTE> bytes = Pattern(static_cast<size_t>(cbFree.QuadPart) + 256 * 1024);
    EXPECT_EQ(SaveFileBytes(path.c_str(), bytes.data(), static_cast<DWORD>(bytes.size())), 0u);
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << "a part of the data was left behind";
    DeleteFileA(path.c_str());
}

}  // namespace
