// Contract of the Files role: existence tests, listing, folders, copies, deletion, whole-file and
// piecewise writes, with the Win32 error numbers of the real calls.
#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "seam_contract.h"

namespace repair::contract {
namespace {

const std::wstring kFolder = L"Sub \u00dc";
const std::wstring kFile = L"Sub \u00dc\\Data \u4e2d.bin";

// The scratch folder holding kFolder with kFile in it, made through the seam itself.
class FilesContract : public SeamContract {
 protected:
  void MakeTree() {
    ASSERT_TRUE(files().CreateFolder(Path(kFolder)));
    ASSERT_TRUE(files().WriteBytes(Path(kFile), "ZORV"));
  }
  std::string BytesOf(const std::wstring& path) {
    Result<std::string> read = files().ReadBytes(path);
    EXPECT_TRUE(read) << Describe(read.error);
    return read.value;
  }
};

struct ExistenceCase {
  const char* name;
  const wchar_t* path;  // relative to the scratch folder
  bool file;
  bool folder;
};

void PrintTo(const ExistenceCase& c, std::ostream* out) { *out << c.name; }

class FileExistence : public FilesContract,
                      public ::testing::WithParamInterface<ExistenceCase> {};

TEST_P(FileExistence, TellsFilesFromFoldersWithoutLetterCase) {
  MakeTree();
  const std::wstring path = Path(GetParam().path);
  EXPECT_EQ(GetParam().file, files().FileExists(path));
  EXPECT_EQ(GetParam().folder, files().FolderExists(path));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FileExistence,
    ::testing::Values(ExistenceCase{"File", L"Sub \u00dc\\Data \u4e2d.bin", true, false},
                      ExistenceCase{"OtherCase", L"SUB \u00fc\\dATA \u4e2d.BIN", true, false},
                      ExistenceCase{"ForwardSlash", L"Sub \u00dc/Data \u4e2d.bin", true, false},
                      ExistenceCase{"Folder", L"Sub \u00dc", false, true},
                      ExistenceCase{"FolderAndSeparator", L"sub \u00fc\\", false, true},
                      ExistenceCase{"MissingFile", L"Sub \u00dc\\Other.bin", false, false},
                      ExistenceCase{"MissingFolder", L"Missing\\Data \u4e2d.bin", false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FilesContract, WrittenBytesReadBackExactlyAndAWriteReplacesTheWholeFile) {
  std::string large(200 * 1024 + 7, '\0');
  for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 31 % 251);
  const std::vector<std::string> contents = {"", "ZORV", std::string("\0\xff\r\n\x1a", 5), large,
                                             "x"};
  const std::wstring path = Path(L"bytes.bin");
  for (const std::string& bytes : contents) {
    SCOPED_TRACE(bytes.size());
    Status written = files().WriteBytes(path, bytes);
    ASSERT_TRUE(written) << Describe(written.error);
    EXPECT_TRUE(BytesOf(path) == bytes);
  }
}

TEST_F(FilesContract, ReadingOrWritingWhereNothingCanBeFails) {
  MakeTree();
  Result<std::string> missing = files().ReadBytes(Path(L"none.bin"));
  EXPECT_FALSE(missing);
  EXPECT_EQ(2, missing.error.number);
  Result<std::string> folder = files().ReadBytes(Path(kFolder));
  EXPECT_FALSE(folder);
  EXPECT_EQ(5, folder.error.number);
  Status noParent = files().WriteBytes(Path(L"Missing\\x.bin"), "x");
  EXPECT_FALSE(noParent);
  EXPECT_EQ(3, noParent.error.number);
}

TEST_F(FilesContract, CreateFolderMakesTheLastLevelOnly) {
  const std::wstring folder = Path(L"New \u00e9");
  ASSERT_TRUE(files().CreateFolder(folder));
  EXPECT_TRUE(files().FolderExists(folder));

  Status again = files().CreateFolder(folder);
  EXPECT_FALSE(again);
  EXPECT_EQ(183, again.error.number);

  Status deep = files().CreateFolder(Path(L"Missing\\Deeper"));
  EXPECT_FALSE(deep);
  EXPECT_EQ(3, deep.error.number);
  EXPECT_FALSE(files().FolderExists(Path(L"Missing")));
}

struct CopyCase {
  const char* name;
  const wchar_t* source;  // relative; "src.txt" holds "new"
  const wchar_t* target;  // relative; "old.txt" holds "old"
  bool overwrite;
  int error;              // 0: the copy succeeds
  const char* targetAfter;  // the target's bytes afterwards; nullptr: no file there
};

void PrintTo(const CopyCase& c, std::ostream* out) { *out << c.name; }

class FileCopy : public FilesContract, public ::testing::WithParamInterface<CopyCase> {};

TEST_P(FileCopy, CopiesWithAndWithoutOverwrite) {
  const CopyCase& c = GetParam();
  ASSERT_TRUE(files().WriteBytes(Path(L"src.txt"), "new"));
  ASSERT_TRUE(files().WriteBytes(Path(L"old.txt"), "old"));
  Status copied = files().CopyFile(Path(c.source), Path(c.target), c.overwrite);
  EXPECT_EQ(c.error, copied.ok ? 0 : copied.error.number) << Describe(copied.error);
  if (c.targetAfter)
    EXPECT_EQ(c.targetAfter, BytesOf(Path(c.target)));
  else
    EXPECT_FALSE(files().FileExists(Path(c.target)));
  EXPECT_EQ("new", BytesOf(Path(L"src.txt")));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileCopy,
    ::testing::Values(CopyCase{"NewTarget", L"src.txt", L"copy \u00fc.txt", false, 0, "new"},
                      CopyCase{"KeepsExisting", L"src.txt", L"old.txt", false, 80, "old"},
                      CopyCase{"ReplacesExisting", L"src.txt", L"OLD.TXT", true, 0, "new"},
                      CopyCase{"MissingSource", L"none.txt", L"copy.txt", true, 2, nullptr},
                      CopyCase{"MissingTargetFolder", L"src.txt", L"Missing\\copy.txt", true, 3,
                               nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

struct DeleteCase {
  const char* name;
  bool exists;
  bool readOnly;
  bool force;
  int error;  // 0: deleted
};

void PrintTo(const DeleteCase& c, std::ostream* out) { *out << c.name; }

class FileDelete : public FilesContract, public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(FileDelete, ForceTakesReadOnlyFilesToo) {
  const DeleteCase& c = GetParam();
  const std::wstring path = Path(L"Quarantine.xml");
  if (c.exists) {
    ASSERT_TRUE(files().WriteBytes(path, "<list/>"));
    if (c.readOnly) MakeReadOnly(path);
  }
  Status deleted = files().DeleteFile(path, c.force);
  EXPECT_EQ(c.error, deleted.ok ? 0 : deleted.error.number) << Describe(deleted.error);
  EXPECT_EQ(c.exists && c.error != 0, files().FileExists(path));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileDelete,
    ::testing::Values(DeleteCase{"Plain", true, false, false, 0},
                      DeleteCase{"Missing", false, false, true, 2},
                      DeleteCase{"ReadOnlyKept", true, true, false, 5},
                      DeleteCase{"ReadOnlyForced", true, true, true, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FilesContract, ListsEntriesWithoutDotsAndFailsForAMissingFolder) {
  MakeTree();
  ASSERT_TRUE(files().CreateFolder(Path(kFolder + L"\\Inner")));
  ASSERT_TRUE(files().WriteBytes(Path(kFolder + L"\\\u00e9t\u00e9.txt"), ""));

  Result<std::vector<FolderEntry>> listed = files().ListFolder(Path(kFolder));
  ASSERT_TRUE(listed) << Describe(listed.error);
  std::vector<std::pair<std::wstring, bool>> entries;
  for (const FolderEntry& entry : listed.value) entries.emplace_back(entry.name, entry.isFolder);
  std::sort(entries.begin(), entries.end());
  const std::vector<std::pair<std::wstring, bool>> expected = {
      {L"Data \u4e2d.bin", false}, {L"Inner", true}, {L"\u00e9t\u00e9.txt", false}};
  EXPECT_TRUE(entries == expected);

  Result<std::vector<FolderEntry>> empty = files().ListFolder(Path(kFolder + L"\\Inner"));
  ASSERT_TRUE(empty) << Describe(empty.error);
  EXPECT_TRUE(empty.value.empty());

  Result<std::vector<FolderEntry>> missing = files().ListFolder(Path(L"Missing"));
  EXPECT_FALSE(missing);
  EXPECT_EQ(3, missing.error.number);
  EXPECT_FALSE(files().ListFolder(Path(kFile)));
}

TEST_F(FilesContract, PiecesWrittenToAnOpenFileArriveInOrder) {
  const std::wstring path = Path(L"side \u00fc.txt");
  Result<std::uintptr_t> open = files().CreateForWriting(path, false);
  ASSERT_TRUE(open) << Describe(open.error);
  EXPECT_NE(0u, open.value);
  ASSERT_TRUE(files().Append(open.value, std::string("\xff\xfe", 2)));
  ASSERT_TRUE(files().Append(open.value, std::string("a\0\r\0\n\0", 6)));
  files().Close(open.value);
  EXPECT_EQ(std::string("\xff\xfe" "a\0\r\0\n\0", 8), BytesOf(path));

  Result<std::uintptr_t> keep = files().CreateForWriting(path, false);
  EXPECT_FALSE(keep);
  EXPECT_EQ(80, keep.error.number);
  EXPECT_EQ(8u, BytesOf(path).size());

  Result<std::uintptr_t> replace = files().CreateForWriting(path, true);
  ASSERT_TRUE(replace) << Describe(replace.error);
  files().Close(replace.value);
  EXPECT_EQ("", BytesOf(path));

  Result<std::uintptr_t> noParent = files().CreateForWriting(Path(L"Missing\\x.txt"), true);
  EXPECT_FALSE(noParent);
  EXPECT_EQ(3, noParent.error.number);
  EXPECT_FALSE(files().Append(0, "x"));
}

}  // namespace
}  // namespace repair::contract
