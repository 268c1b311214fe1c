#include "fileio/file_access.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>
#include <windows.h>

namespace {

// The names in a folder, "." and ".." left out.
std::vector<std::string> Names(const std::string& dir)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA((dir + "\\*").c_str(), &fd);
    for (BOOL fMore = hFind != INVALID_HANDLE_VALUE; fMore; fMore = FindNextFileA(hFind, &fd)) {
        if (strcmp(fd.cFileName, ".") != 0 && strcmp(fd.cFileName, "..") != 0) names.push_back(fd.cFileName);
    }
    if (hFind != INVALID_HANDLE_VALUE) FindClose(hFind);
    return names;
}

// A file, or a folder with everything in it.
void RemoveTree(const std::string& path)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    for (const std::string& name : Names(path)) RemoveTree(path + "\\" + name);
    if (!RemoveDirectoryA(path.c_str())) DeleteFileA(path.c_str());
}

// A scratch folder of the test's own, removed with everything in it. Its
// name is a clock's reading: the process id is the same in every Wine run.
class FileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char szTemp[MAX_PATH];
        ASSERT_NE(GetTempPathA(MAX_PATH, szTemp), 0u);
        LARGE_INTEGER liNow;
        QueryPerformanceCounter(&liNow);
        for (LONGLONG n = liNow.QuadPart;; ++n) {
            m_dir = std::string(szTemp) + "hexbin-fileio-" + std::to_string(n);
            if (CreateDirectoryA(m_dir.c_str(), NULL)) break;
            ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
        }
    }
    void TearDown() override { RemoveTree(m_dir); }

    std::string Path(const char* szName) { return m_dir + "\\" + szName; }

    std::string m_dir;
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
// reports a short write as a success): no byte may be claimed then. The
// file's index tells a file written in place from one moved over it.
enum FOLDER {
    IN_TEMP,        // the test's scratch folder
    MISSING,        // a folder that does not exist
    DEEP,           // a folder deep enough that the file's path has cchPath characters
    ON_SMALL_DISK,  // the root of a small tmpfs the test run mounts (see tests/CMakeLists.txt)
    NO_INODES,      // the root of one with no inode left once the file before is made: no new file
};
enum OUTCOME { KEPT, MOVED, IN_PLACE };  // what the file holds after: what it held, or the new bytes
const size_t NONE = SIZE_MAX;            // cbBefore: no file before; cbSave: more than the disk has free
const DWORD HELD = INFINITE;             // dwHeldMs: until the save is over

const struct SAVECASE {
    const char* szWhat;
    FOLDER folder;
    size_t cchPath;  // DEEP
    size_t cbBefore;
    DWORD dwAttributes;    // of the file before
    DWORD dwHeldMs;        // by another program without sharing, until this long after the side file appears
    const char* szBeside;  // a file there before, which must stay as it was
    size_t cbSave;
    OUTCOME outcome;
} kSaveCases[] = {
    {"new file", IN_TEMP, 0, NONE, 0, 0, NULL, 1000, MOVED},
    {"over a longer file", IN_TEMP, 0, 5000, 0, 0, NULL, 17, MOVED},
    {"over a shorter file", IN_TEMP, 0, 3, 0, 0, NULL, 70000, MOVED},
    {"nothing, over a file", IN_TEMP, 0, 100, 0, 0, NULL, 0, MOVED},
    {"nothing, new file", IN_TEMP, 0, NONE, 0, 0, NULL, 0, MOVED},
    {"over a file held open without sharing", IN_TEMP, 0, 40, 0, HELD, NULL, 10, KEPT},
    {"over a file let go of while the move is tried again", IN_TEMP, 0, 40, 0, 150, NULL, 10, MOVED},
    {"over a read-only file", IN_TEMP, 0, 40, FILE_ATTRIBUTE_READONLY, 0, NULL, 10, KEPT},
    {"over a hidden file", IN_TEMP, 0, 40, FILE_ATTRIBUTE_HIDDEN, 0, NULL, 10, KEPT},
    {"over a system file", IN_TEMP, 0, 40, FILE_ATTRIBUTE_SYSTEM, 0, NULL, 10, KEPT},
    {"the first side name taken: the next one", IN_TEMP, 0, 40, 0, 0, "~hb0000.tmp", 10, MOVED},
    {"into a folder that does not exist", MISSING, 0, NONE, 0, 0, NULL, 10, KEPT},
    {"a path of 253 characters: the side file's 259 fit", DEEP, 253, 5000, 0, 0, NULL, 17, MOVED},
    {"a path of 254 characters: the side file's 260 do not, in place", DEEP, 254, 5000, 0, 0, NULL, 17, IN_PLACE},
    {"a path of 259 characters, in place", DEEP, 259, 5000, 0, 0, NULL, 17, IN_PLACE},
    {"over a file, with room", ON_SMALL_DISK, 0, 100, 0, 0, NULL, 1000, MOVED},
    {"full disk, over a file", ON_SMALL_DISK, 0, 20000, 0, 0, NULL, NONE, KEPT},
    {"full disk, new file", ON_SMALL_DISK, 0, NONE, 0, 0, NULL, NONE, KEPT},
    {"no new file, no room to write in place", NO_INODES, 0, 20000, 0, 0, NULL, NONE, KEPT},
};

// A file's index: kept by a file written in place, new for one moved over it.
ULONGLONG FileIndex(const std::string& path)
{
    BY_HANDLE_FILE_INFORMATION info = {};
    HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           OPEN_EXISTING, 0, NULL);
    if (h != INVALID_HANDLE_VALUE) GetFileInformationByHandle(h, &info);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    return (ULONGLONG{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
}

// The rows in the given disk's root, or those in no disk (for IN_TEMP).
void RunSaveCases(const std::string& dirTemp, FOLDER disk, const std::string& dirDisk)
{
    for (const SAVECASE& c : kSaveCases) {
        if ((c.folder >= ON_SMALL_DISK ? c.folder : IN_TEMP) != disk) continue;
        SCOPED_TRACE(c.szWhat);
        std::string dir = c.folder >= ON_SMALL_DISK ? dirDisk : dirTemp + (c.folder == MISSING ? "\\no such" : "");
        if (c.folder == DEEP) {
            dir += '\\';
            dir.append(c.cchPath - dir.size() - strlen("\\saved"), 'd');
            ASSERT_TRUE(CreateDirectoryA(dir.c_str(), NULL));
        }
        const std::string path = dir + "\\saved";
        const std::vector<BYTE> before(c.cbBefore == NONE ? 0 : c.cbBefore, 0xEE);
        if (c.cbBefore != NONE) WriteWhole(path, before);
        if (c.folder == NO_INODES) {
            ASSERT_EQ(CreateFileA((dir + "\\new").c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL),
                      INVALID_HANDLE_VALUE);
            ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
        }
        if (c.szBeside != NULL) WriteWhole(dir + "\\" + c.szBeside, Pattern(33));
        if (c.dwAttributes != 0) {
            ASSERT_TRUE(SetFileAttributesA(path.c_str(), c.dwAttributes));
            ASSERT_EQ(GetFileAttributesA(path.c_str()) & c.dwAttributes, c.dwAttributes);  // kept, also under Wine
        }
        const ULONGLONG nIndexBefore = FileIndex(path);
        HANDLE hHeld = c.dwHeldMs ? CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL) : NULL;
        // Let go of by another thread a while after the side file appears,
        // so that the move has been tried, and has failed, before.
        BOOL fSideThen = FALSE;  // the side file was still there then
        std::thread letGo([&] {
            if (c.dwHeldMs == 0 || c.dwHeldMs == HELD) return;
            const std::string side = dir + "\\~hb0000.tmp";
            for (int i = 0; i < 5000 && GetFileAttributesA(side.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(1);
            Sleep(c.dwHeldMs);
            fSideThen = GetFileAttributesA(side.c_str()) != INVALID_FILE_ATTRIBUTES;
            CloseHandle(hHeld);
        });
        ULARGE_INTEGER cbFree = {};
        GetDiskFreeSpaceExA(dir.c_str(), &cbFree, NULL, NULL);
        const size_t cbFull = static_cast<size_t>(cbFree.QuadPart) + 256 * 1024;
        const std::vector<BYTE> bytes = Pattern(c.cbSave != NONE ? c.cbSave : cbFull);

        EXPECT_EQ(SaveFileBytes(path.c_str(), bytes.data(), static_cast<DWORD>(bytes.size())),
                  c.outcome != KEPT ? bytes.size() : 0u);
        letGo.join();
        if (c.dwHeldMs == HELD) CloseHandle(hHeld);
        EXPECT_TRUE(c.dwHeldMs == 0 || c.dwHeldMs == HELD || fSideThen) << "the side file went while the file was held";
        const BOOL fExists = c.outcome != KEPT || c.cbBefore != NONE;
        EXPECT_EQ(GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES, fExists);
        EXPECT_EQ(ReadWhole(path), c.outcome != KEPT ? bytes : before);
        EXPECT_TRUE(c.cbBefore == NONE || (FileIndex(path) == nIndexBefore) == (c.outcome != MOVED))
            << (c.outcome == MOVED ? "written in place, not moved" : "a new file, not the one there before");
        EXPECT_TRUE(c.szBeside == NULL || ReadWhole(dir + "\\" + c.szBeside) == Pattern(33)) << "the other file changed";
        EXPECT_EQ(Names(dir).size(), (fExists ? 1u : 0u) + (c.szBeside != NULL)) << "something else was left there";
        for (const std::string& name : Names(dir)) RemoveTree(dir + "\\" + name);
        if (c.folder == DEEP) RemoveTree(dir);
    }
}

TEST_F(FileTest, SaveReplacesTheFileOrLeavesItAsItWas) { RunSaveCases(m_dir, IN_TEMP, ""); }

// The rows of a small disk the test run mounted, where the variable says.
void RunDiskCases(const std::string& dirTemp, FOLDER disk, const char* szVariable)
{
    char szUnix[MAX_PATH];
    const DWORD cch = GetEnvironmentVariableA(szVariable, szUnix, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH) GTEST_SKIP() << szVariable << " not set: no small filesystem here";
    std::string dir = std::string("Z:") + szUnix;
    for (char& ch : dir) ch = ch == '/' ? '\\' : ch;

    ULARGE_INTEGER cbFree;
    if (!GetDiskFreeSpaceExA(dir.c_str(), &cbFree, NULL, NULL) || cbFree.QuadPart > (1u << 20)) {
        GTEST_SKIP() << dir << " is not a small mounted filesystem (was the mount refused?)";
    }
    RunSaveCases(dirTemp, disk, dir);
}

TEST_F(FileTest, SaveOnSmallDisk) { RunDiskCases(m_dir, ON_SMALL_DISK, "HEXBIN_SMALLFS"); }
TEST_F(FileTest, SaveWhereNoNewFileCanBeMade) { RunDiskCases(m_dir, NO_INODES, "HEXBIN_NOINODES"); }

}  // namespace
