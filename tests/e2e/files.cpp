// The files of a case: where they are, what they hold (made and compared a
// piece at a time, against the plain model of hex2bin), and the files that
// must come through a case unchanged.
#include "../convert/hex_model.h"
#include "e2e.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

const DWORD CB_PIECE = 1u << 20;
static_assert(CB_PIECE % 16 == 0, "pieces of hex text end at line ends");

struct STREAM {
    DATA data;
    ULONGLONG cbDone;    // of the source given so far
    DWORD dwState;       // the random generator's
    HANDLE hText;        // DATA_PARSED: the text the model reads,
    std::string sCarry;  // what was read of it after the last LF,
    BOOL fEnded;         // whether the model has stopped,
    int status;          // the outcome the program must report,
    ULONGLONG cbOut;     // and the bytes the model has made
    BOOL fFailed;        // the text could not be read; the run says why
};

// The model reads the text a piece at a time, each piece ending right after
// an LF. There the parser stands between two tokens, in a comment or not
// (an LF ends a comment and is a separator outside one), so each piece reads
// alone just as it reads within the whole text.
BOOL NextParsed(RUN* pRun, STREAM* pStream, std::string* psPiece)
{
    std::string sText;
    std::string sRead(CB_PIECE, '\0');
    DWORD cbRead = 1;
    while (!pStream->fEnded && sText.empty() && cbRead != 0) {
        if (!ReadFile(pStream->hText, &sRead[0], CB_PIECE, &cbRead, NULL)) {
            pStream->fFailed = TRUE;
            return Fail(pRun, "cannot read %s for the model (error %lu)", pStream->data.pb, GetLastError());
        }
        pStream->sCarry.append(sRead, 0, cbRead);
        const size_t iEnd = cbRead == 0 ? pStream->sCarry.size() : pStream->sCarry.rfind('\n') + 1;  // npos + 1: 0
        sText = pStream->sCarry.substr(0, iEnd);
        pStream->sCarry.erase(0, iEnd);
    }
    if (pStream->fEnded) return FALSE;
    const ModelParse parse = ModelParseText(sText);
    const BOOL fZero = sText.find('\0') != std::string::npos;
    pStream->cbOut += parse.bytes.size();
    // A zero byte cuts the text short: the program says so as an invalid character.
    pStream->status = parse.status == 0 && fZero ? 1 : parse.status;
    pStream->fEnded = pStream->status != 0 || cbRead == 0;
    psPiece->assign(parse.bytes.begin(), parse.bytes.end());
    return TRUE;
}

// The next piece of the content; FALSE at its end (or when a text cannot be
// read: then fFailed is set).
BOOL NextPiece(RUN* pRun, STREAM* pStream, std::string* psPiece)
{
    const DATA& data = pStream->data;
    if (data.kind == DATA_PARSED) return NextParsed(pRun, pStream, psPiece);
    if (pStream->cbDone == data.cb) return FALSE;
    const ULONGLONG cbFrom = pStream->cbDone;
    const ULONGLONG cbMost = data.kind == DATA_BYTES ? data.cb : CB_PIECE;
    const size_t cb = static_cast<size_t>(std::min<ULONGLONG>(cbMost, data.cb - cbFrom));
    pStream->cbDone += cb;
    psPiece->assign(cb, '\0');
    if (data.kind == DATA_BYTES) psPiece->assign(data.pb, cb);
    for (size_t i = 0, cchText = data.kind == DATA_REPEAT ? strlen(data.pb) : 0; cchText != 0 && i < cb;) {
        const size_t iFrom = static_cast<size_t>((cbFrom + i) % cchText);
        const size_t cch = std::min(cchText - iFrom, cb - i);
        psPiece->replace(i, cch, data.pb + iFrom, cch);
        i += cch;
    }
    if (data.kind == DATA_RANDOM || data.kind == DATA_RANDOM_HEX || data.kind == DATA_RANDOM_PAIRS) {
        DWORD dwState = pStream->dwState;
        for (char& ch : *psPiece) {
            dwState ^= dwState << 13;
            dwState ^= dwState >> 17;
            dwState ^= dwState << 5;
            ch = static_cast<char>(dwState >> 24);
        }
        pStream->dwState = dwState;
    }
    if (data.kind == DATA_RANDOM_HEX) {
        // A piece ends a line with its CR; where the text goes on, its LF follows.
        *psPiece = ModelFormat(std::vector<uint8_t>(psPiece->begin(), psPiece->end())) +
                   (pStream->cbDone < data.cb ? "\n" : "");
    } else if (data.kind == DATA_RANDOM_PAIRS) {
        std::string sPairs;
        for (unsigned char b : *psPiece) {
            sPairs += "0123456789abcdef"[b >> 4];
            sPairs += "0123456789abcdef"[b & 15];
        }
        psPiece->swap(sPairs);
    }
    return TRUE;
}

// Gives fnPiece the content a piece at a time, until it returns FALSE. The
// stream ends holding the model's outcome for a DATA_PARSED text.
template <typename FN>
BOOL ForEachPiece(RUN* pRun, const DATA& data, STREAM* pStream, FN fnPiece)
{
    *pStream = STREAM{data, 0, 0x9E3779B9u ^ static_cast<DWORD>(data.cb), INVALID_HANDLE_VALUE, "", FALSE, 0, 0, FALSE};
    if (data.kind == DATA_PARSED) {
        pStream->hText = CreateFileA(PathOf(pRun, data.pb).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     NULL, OPEN_EXISTING, 0, NULL);
        if (pStream->hText == INVALID_HANDLE_VALUE) {
            return Fail(pRun, "cannot read %s for the model (error %lu)", data.pb, GetLastError());
        }
    }
    std::string sPiece;
    BOOL fGoing = TRUE;
    while (fGoing && NextPiece(pRun, pStream, &sPiece)) fGoing = fnPiece(sPiece);
    if (pStream->hText != INVALID_HANDLE_VALUE) CloseHandle(pStream->hText);
    return fGoing && !pStream->fFailed;
}

// A hash of the file's content, with its size and last-write time.
BOOL TakeSnapshot(const std::string& sPath, KEPT* pKept)
{
    HANDLE hFile = CreateFileA(sPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               NULL, OPEN_EXISTING, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE) return FALSE;
    BY_HANDLE_FILE_INFORMATION info = {};
    BOOL fTaken = GetFileInformationByHandle(hFile, &info);
    *pKept = KEPT{sPath, (static_cast<ULONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow, info.ftLastWriteTime,
                  0xCBF29CE484222325ull};
    std::string sPiece;
    while (fTaken && (fTaken = ReadUpTo(hFile, &sPiece, CB_PIECE)) && !sPiece.empty()) {
        sPiece.resize((sPiece.size() + 7) / 8 * 8, '\0');  // eight bytes at a time: a gigabyte must not take long
        for (size_t i = 0; i < sPiece.size(); i += 8) {
            ULONGLONG ullWord;
            memcpy(&ullWord, sPiece.data() + i, 8);
            pKept->ullHash = (pKept->ullHash ^ ullWord) * 0x100000001B3ull;
            pKept->ullHash ^= pKept->ullHash >> 29;
        }
    }
    CloseHandle(hFile);
    return fTaken;
}

// The files of a folder (its path ends in a backslash), and with fFolders
// its folders too; *pfListed is FALSE, and says why, if it cannot be read.
std::vector<WIN32_FIND_DATAA> ListFiles(RUN* pRun, const std::string& sDir, BOOL fFolders, BOOL* pfListed)
{
    std::vector<WIN32_FIND_DATAA> files;
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA((sDir + "*").c_str(), &fd);
    *pfListed = hFind != INVALID_HANDLE_VALUE || Fail(pRun, "cannot list %s (error %lu)", sDir.c_str(), GetLastError());
    for (BOOL fMore = *pfListed; fMore; fMore = FindNextFileA(hFind, &fd)) {
        const BOOL fFolder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!fFolder || (fFolders && strcmp(fd.cFileName, ".") != 0 && strcmp(fd.cFileName, "..") != 0)) {
            files.push_back(fd);
        }
    }
    if (*pfListed) FindClose(hFind);
    return files;
}

}  // namespace

// Where a file of a case is: in the case's folder, or on a disk the test run
// mounted ("FULL:name", "RO:name"); "REL:name" is the bare name, as typed
// into a chooser for its own folder. A "{N}" in the name is filled with x's
// so that the whole path is N characters long.
std::string PathOf(const RUN* pRun, const char* szFile)
{
    std::string sPath = strncmp(szFile, "REL:", 4) == 0 ? szFile + 4 : pRun->szDir + std::string(szFile);
    for (const NEED& need : g_rgNeed) {
        const size_t cchPrefix = need.szPrefix != NULL ? strlen(need.szPrefix) : 0;
        if (cchPrefix != 0 && strncmp(szFile, need.szPrefix, cchPrefix) == 0) {
            sPath = need.sValue + "\\" + (szFile + cchPrefix);
        }
    }
    const size_t iOpen = sPath.find('{');
    const size_t iClose = sPath.find('}');
    if (iOpen != std::string::npos && iClose != std::string::npos) {
        const size_t cchWant = strtoul(sPath.c_str() + iOpen + 1, NULL, 10);
        sPath.erase(iOpen, iClose - iOpen + 1);
        sPath.insert(iOpen, cchWant > sPath.size() ? cchWant - sPath.size() : 0, 'x');
    }
    return sPath;
}

// A Windows path: absolute Unix paths are seen through Wine's drive Z:.
void ToWindowsPath(const char* szPath, char* szOut, size_t cchOut)
{
    snprintf(szOut, cchOut, "%s%s", szPath[0] == '/' ? "Z:" : "", szPath);
    std::replace(szOut, szOut + strlen(szOut), '/', '\\');
}

// Reads up to cb bytes into *ps, fewer only at the end of the file.
BOOL ReadUpTo(HANDLE hFile, std::string* ps, size_t cb)
{
    ps->resize(cb);
    size_t cbHave = 0;
    for (DWORD cbRead = 1; cbHave < cb && cbRead != 0; cbHave += cbRead) {
        if (!ReadFile(hFile, &(*ps)[cbHave], static_cast<DWORD>(cb - cbHave), &cbRead, NULL)) return FALSE;
    }
    ps->resize(cbHave);
    return TRUE;
}

// What the model says hex2bin makes of a text: its outcome and count.
BOOL RunModel(RUN* pRun, const DATA& text, int* pStatus, ULONGLONG* pcb)
{
    STREAM stream;
    const BOOL fRead = ForEachPiece(pRun, text, &stream, [](const std::string&) { return TRUE; });
    *pStatus = stream.status;
    *pcb = stream.cbOut;
    return fRead;
}

// Remembers the file as it is now, to be checked when the case ends; a file
// that does not exist has nothing to keep, unless it must.
BOOL KeepFile(RUN* pRun, const std::string& sPath, BOOL fMustExist)
{
    KEPT kept;
    for (const KEPT& other : pRun->kept) {
        if (other.sPath == sPath) return TRUE;
    }
    if (!TakeSnapshot(sPath, &kept)) {
        return !fMustExist || Fail(pRun, "cannot read %s (error %lu)", sPath.c_str(), GetLastError());
    }
    pRun->kept.push_back(kept);
    return TRUE;
}

// The files kept are as they were, and every file named in a chooser can be
// opened without sharing: the program holds no handle to it.
BOOL CheckKeptAndClosed(RUN* pRun)
{
    for (const KEPT& kept : pRun->kept) {
        KEPT now;
        if (!TakeSnapshot(kept.sPath, &now)) {
            return Fail(pRun, "%s can no longer be read (error %lu)", kept.sPath.c_str(), GetLastError());
        }
        if (now.cb != kept.cb || now.ullHash != kept.ullHash || CompareFileTime(&now.ftWrite, &kept.ftWrite) != 0) {
            return Fail(pRun, "%s changed: %llu bytes before, %llu now, %s content, %s last-write time",
                        kept.sPath.c_str(), kept.cb, now.cb, now.ullHash == kept.ullHash ? "the same" : "other",
                        CompareFileTime(&now.ftWrite, &kept.ftWrite) == 0 ? "the same" : "a new");
        }
    }
    for (const std::string& sPath : pRun->touched) {
        if (GetFileAttributesA(sPath.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
        HANDLE hFile = CreateFileA(sPath.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
        if (hFile == INVALID_HANDLE_VALUE) {
            return Fail(pRun, "%s cannot be opened without sharing (error %lu): a handle to it is still open",
                        sPath.c_str(), GetLastError());
        }
        CloseHandle(hFile);
    }
    return TRUE;
}

// Removes the files of a folder of cbMin bytes or more; with cbMin 0, its
// folders and all they hold too.
BOOL DeleteFiles(RUN* pRun, const std::string& sDir, ULONGLONG cbMin)
{
    BOOL fListed = FALSE;
    for (const WIN32_FIND_DATAA& fd : ListFiles(pRun, sDir, cbMin == 0, &fListed)) {
        const std::string sPath = sDir + fd.cFileName;
        const BOOL fRemoved = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                                  ? DeleteFiles(pRun, sPath + "\\", 0) && RemoveDirectoryA(sPath.c_str())
                                  : (static_cast<ULONGLONG>(fd.nFileSizeHigh) << 32 | fd.nFileSizeLow) < cbMin ||
                                        DeleteFileA(sPath.c_str());
        if (!fRemoved) {
            return Fail(pRun, "cannot remove %s (error %lu)", fd.cFileName, GetLastError());
        }
    }
    return fListed;
}

void ReleaseHeld(RUN* pRun)
{
    while (pRun->cHeld > 0) CloseHandle(pRun->rghHeld[--pRun->cHeld]);
}

BOOL DoWrite(RUN* pRun, const STEP& step)
{
    const std::string sPath = PathOf(pRun, step.szFile);
    CreateDirectoryA(sPath.substr(0, sPath.rfind('\\')).c_str(), NULL);  // a folder of the case's own
    HANDLE hFile = CreateFileA(sPath.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE) return Fail(pRun, "cannot write %s (error %lu)", step.szFile, GetLastError());
    STREAM stream;
    LARGE_INTEGER liSize;
    liSize.QuadPart = static_cast<LONGLONG>(step.data.cb);
    const BOOL fWritten =
        step.data.kind == DATA_SPARSE
            ? (SetFilePointerEx(hFile, liSize, NULL, FILE_BEGIN) && SetEndOfFile(hFile)) ||
                  Fail(pRun, "cannot write %s (error %lu)", step.szFile, GetLastError())
            : ForEachPiece(pRun, step.data, &stream, [&](const std::string& sPiece) {
                  DWORD cbWritten = 0;
                  return (WriteFile(hFile, sPiece.data(), static_cast<DWORD>(sPiece.size()), &cbWritten, NULL) &&
                          cbWritten == sPiece.size()) ||
                         Fail(pRun, "cannot write %s (error %lu)", step.szFile, GetLastError());
              });
    CloseHandle(hFile);
    return fWritten;
}

// A file another process holds open, with the share mode of the step; it
// must be as it was when the case ends.
BOOL DoHold(RUN* pRun, const STEP& step)
{
    const std::string sPath = PathOf(pRun, step.szFile);
    if (pRun->cHeld == ARRAYSIZE(pRun->rghHeld)) return Fail(pRun, "too many files held");
    if (!KeepFile(pRun, sPath, FALSE)) return FALSE;
    HANDLE hFile = CreateFileA(sPath.c_str(), GENERIC_READ | GENERIC_WRITE, step.dwShare, NULL, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE) return Fail(pRun, "cannot hold %s (error %lu)", step.szFile, GetLastError());
    pRun->rghHeld[pRun->cHeld++] = hFile;
    return TRUE;
}

// The file holds exactly the data (cbFile > 0: it has cbFile bytes, and the
// data begins it). The model's result of hex2bin, when empty, is saved and
// then reported as nothing written.
BOOL DoFile(RUN* pRun, const STEP& step)
{
    int status = 0;
    ULONGLONG cbModel = 0;
    if (step.data.kind == DATA_PARSED && (!RunModel(pRun, step.data, &status, &cbModel) ||
                                          (cbModel == 0 && !ShowsBox(pRun, FAILURE_TEXT, FAILURE_CAPTION)))) {
        return FALSE;
    }
    HANDLE hFile = CreateFileA(PathOf(pRun, step.szFile).c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                               0, NULL);
    if (hFile == INVALID_HANDLE_VALUE) return Fail(pRun, "%s was not written (error %lu)", step.szFile, GetLastError());
    STREAM stream;
    ULONGLONG cbWant = 0;
    std::string sGot;
    const BOOL fSame = ForEachPiece(pRun, step.data, &stream, [&](const std::string& sWant) {
        if (!ReadUpTo(hFile, &sGot, sWant.size())) return Fail(pRun, "cannot read %s (%lu)", step.szFile, GetLastError());
        const auto mismatch = std::mismatch(sGot.begin(), sGot.end(), sWant.begin());
        if (mismatch.first != sGot.end()) {
            return Fail(pRun, "%s: byte %llu is 0x%02X, want 0x%02X", step.szFile,
                        cbWant + static_cast<ULONGLONG>(mismatch.first - sGot.begin()),
                        static_cast<unsigned char>(*mismatch.first), static_cast<unsigned char>(*mismatch.second));
        }
        cbWant += sWant.size();
        return TRUE;
    });
    LARGE_INTEGER liSize = {};
    GetFileSizeEx(hFile, &liSize);
    CloseHandle(hFile);
    const ULONGLONG cbFile = static_cast<ULONGLONG>(liSize.QuadPart);
    const ULONGLONG cbExpected = step.cbFile != 0 ? step.cbFile : cbWant;
    return fSame &&
           (cbFile == cbExpected ||
            Fail(pRun, "%s: %llu bytes, want %llu; the first %llu are as expected%s", step.szFile, cbFile, cbExpected,
                 std::min(cbFile, cbWant), step.cbFile != 0 ? " (only the first bytes are known)" : ""));
}

BOOL DoNoFile(RUN* pRun, const STEP& step)
{
    return GetFileAttributesA(PathOf(pRun, step.szFile).c_str()) == INVALID_FILE_ATTRIBUTES ||
           Fail(pRun, "%s was written", step.szFile);
}

BOOL DoFiles(RUN* pRun, const STEP& step)
{
    BOOL fListed = FALSE;
    std::string sNames;
    const std::string sDir = step.szFile != NULL ? PathOf(pRun, step.szFile) : pRun->szDir;
    const std::vector<WIN32_FIND_DATAA> files = ListFiles(pRun, sDir, FALSE, &fListed);
    for (const WIN32_FIND_DATAA& fd : files) sNames += std::string(" ") + fd.cFileName;
    return fListed && (files.size() == step.cFiles ||
                       Fail(pRun, "%s holds%s, expected %zu file(s)", sDir.c_str(), sNames.c_str(), step.cFiles));
}
