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

// A save replaces the file whole, or leaves it as it was; either way nothing
// else is left in its folder. A full disk takes less than asked (Wine even
// reports a short write as a success): no byte may be claimed then.
enum FOLDER {
    IN_TEMP,        // the test's scratch folder
    MISSING,        // a folder that does not exist
    DEEP,           // a folder so deep that the file's path has 259 characters: no room beside it
    ON_SMALL_DISK,  // a small tmpfs the test run mounts (see tests/CMakeLists.txt)
};
const size_t NONE = SIZE_MAX;  // cbBefore: no file before; cbSave: more than the disk has free

const struct SAVECASE {
    const char* szWhat;
    FOLDER folder;
    size_t cbBefore;
    DWORD dwAttributes;  // of the file before
    BOOL fHeld;          // by another program, without sharing
    size_t cbSave;
    BOOL fReplaced;  // the file holds the new bytes; otherwise what it held before
} kSaveCases[] = {
    {"new file", IN_TEMP, NONE, 0, FALSE, 1000, TRUE},
    {"over a longer file", IN_TEMP, 5000, 0, FALSE, 17, TRUE},
    {"over a shorter file", IN_TEMP, 3, 0, FALSE, 70000, TRUE},
    {"nothing, over a file", IN_TEMP, 100, 0, FALSE, 0, TRUE},
    {"nothing, new file", IN_TEMP, NONE, 0, FALSE, 0, TRUE},
    {"over a file held open without sharing", IN_TEMP, 40, 0, TRUE, 10, FALSE},
    {"over a read-only file", IN_TEMP, 40, FILE_ATTRIBUTE_READONLY, FALSE, 10, FALSE},
    {"over a hidden file", IN_TEMP, 40, FILE_ATTRIBUTE_HIDDEN, FALSE, 10, FALSE},
    {"into a folder that does not exist", MISSING, NONE, 0, FALSE, 10, FALSE},
    {"a path of 259 characters, in place", DEEP, 5000, 0, FALSE, 17, TRUE},
    {"full disk, over a file", ON_SMALL_DISK, 20000, 0, FALSE, NONE, FALSE},
    {"full disk, new file", ON_SMALL_DISK, NONE, 0, FALSE, NONE, FALSE},
};

size_t CountFiles(const std::string& dir)
{
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA((dir + "\\*").c_str(), &fd);
    size_t c = 0;
    if (hFind == INVALID_HANDLE_VALUE) return c;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++c;
    } while (FindNextFileA(hFind, &fd));
    FindClose(hFind);
    return c;
}

// The rows on the small disk when it is given, the others when it is not.
void RunSaveCases(const std::string& dirTemp, const std::string& dirSmall)
{
    for (const SAVECASE& c : kSaveCases) {
        if ((c.folder == ON_SMALL_DISK) == dirSmall.empty()) continue;
        SCOPED_TRACE(c.szWhat);
        std::string dir = c.folder == ON_SMALL_DISK ? dirSmall : dirTemp + (c.folder == MISSING ? "\\no such" : "");
        if (c.folder == DEEP) {
            dir += '\\';
            dir.append(259 - dir.size() - strlen("\\saved"), 'd');
            ASSERT_TRUE(CreateDirectoryA(dir.c_str(), NULL));
        }
        const std::string path = dir + "\\saved";
        const std::vector<BYTE> before(c.cbBefore == NONE ? 0 : c.cbBefore, 0xEE);
        if (c.cbBefore != NONE) WriteWhole(path, before);
        if (c.dwAttributes != 0) {
            ASSERT_TRUE(SetFileAttributesA(path.c_str(), c.dwAttributes));
            ASSERT_EQ(GetFileAttributesA(path.c_str()) & c.dwAttributes, c.dwAttributes);  // kept, also under Wine
        }
        HANDLE hHeld = c.fHeld ? CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL) : NULL;
        ULARGE_INTEGER cbFree = {};
        GetDiskFreeSpaceExA(dir.c_str(), &cbFree, NULL, NULL);
        const size_t cbFull = static_cast<size_t>(cbFree.QuadPart) + 256 * 1024;
        const std::vector<BYTE> bytes = Pattern(c.cbSave != NONE ? c.cbSave : cbFull);

        EXPECT_EQ(SaveFileBytes(path.c_str(), bytes.data(), static_cast<DWORD>(bytes.size())),
                  c.fReplaced ? bytes.size() : 0u);
        if (hHeld != NULL) CloseHandle(hHeld);
        const BOOL fExists = c.fReplaced || c.cbBefore != NONE;
        EXPECT_EQ(GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES, fExists);
        EXPECT_EQ(ReadWhole(path), c.fReplaced ? bytes : before);
        EXPECT_EQ(CountFiles(dir), fExists ? 1u : 0u) << "something else was left beside the file";
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
        if (c.folder == DEEP) RemoveDirectoryA(dir.c_str());
    }
}

TEST_F(FileTest, SaveReplacesTheFileOrLeavesItAsItWas) { RunSaveCases(m_dir, ""); }

TEST_F(FileTest, SaveOnFullDiskLeavesTheFileAsItWas)
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
    RunSaveCases(m_dir, dir);
}

}  // namespace
