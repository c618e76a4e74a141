// The quarantine list, the detection-data files with the carried fixing file, and the update
// trigger.
#include <fstream>
#include <functional>
#include <iterator>

#include "detection_data.h"
#include "quarantine.h"
#include "suite_endpoint.h"
#include "suite_names.h"
#include "update_trigger.h"

namespace repair::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

struct QuarantineCase {
  const char* name;
  std::function<void(fake::FakeEndpoint&)> prepare;
  bool result;
  bool fileLeft;
  std::vector<std::wstring> lines;  // verbose output on
};

void PrintTo(const QuarantineCase& c, std::ostream* os) { *os << c.name; }

class QuarantineTest : public RepairTest, public ::testing::WithParamInterface<QuarantineCase> {};

TEST_P(QuarantineTest, DeletesTheListOrSaysWhyNot) {
  const QuarantineCase& c = GetParam();
  if (c.prepare) c.prepare(endpoint);
  run.g_verbose = true;
  EXPECT_EQ(DeleteQuarantineFile(run), c.result);
  EXPECT_EQ(endpoint.files.FileExists(kQuarantineFile), c.fileLeft);
  EXPECT_THAT(Lines(), ElementsAreArray(c.lines));
}

const std::wstring kTrying = L"Trying to delete " + kQuarantineFile;
const std::wstring kDeleted = L"Deleted quarantine file " + kQuarantineFile;

INSTANTIATE_TEST_SUITE_P(
    Quarantine, QuarantineTest,
    ::testing::Values(
        QuarantineCase{"Deleted", nullptr, true, false,
                       {kTrying, L"Delete successful", kDeleted}},
        QuarantineCase{"ReadOnlyIsDeletedToo",
                       [](fake::FakeEndpoint& e) { e.files.AddFile(kQuarantineFile, "x", true); },
                       true, false,
                       {kTrying, L"Delete successful", kDeleted}},
        QuarantineCase{"MissingFileIsNoFailure",
                       [](fake::FakeEndpoint& e) { e.files.Remove(kQuarantineFile); }, true, false,
                       {L"Quarantine file " + kQuarantineFile + L" does not exist"}},
        QuarantineCase{"MissingFolder",
                       [](fake::FakeEndpoint& e) { e.files.Remove(kQuarantineFolder); }, false,
                       false, {L"Failed to find Quarantine.xml path"}},
        QuarantineCase{"NoCommonDataFolder",
                       [](fake::FakeEndpoint& e) {
                         e.faults.FailCall("System.SpecialFolder", 1, {5, L"Access is denied."});
                       },
                       false, true,
                       {L"Script encountered an error, details:", L"Number = 5",
                        L"Description = Access is denied.", L"Failed to find Quarantine.xml path"}},
        QuarantineCase{"FileStays",
                       [](fake::FakeEndpoint& e) {
                         e.faults.FailCall("Files.DeleteFile", 1, {32, L"In use."});
                       },
                       false, true,
                       {kTrying, L"Script encountered an error, details:", L"Number = 32",
                        L"Description = In use.",
                        L"Failed to delete quarantine file " + kQuarantineFile}}),
    [](const ::testing::TestParamInfo<QuarantineCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------------------------
std::string CarriedFile() {
  std::ifstream in(ZF_GOOD_IDE_FILE, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(RepairTest, WriteGoodIdeWritesExactlyTheCarriedBytes) {
  const std::wstring path = kInstallFolder + L"\\tulov-ek.ide";
  endpoint.files.AddFile(path, "a different, longer file that is to be replaced whole .......");
  EXPECT_TRUE(WriteGoodIde(run, path));
  const std::optional<std::string> written = endpoint.files.Bytes(path);
  ASSERT_TRUE(written.has_value());
  EXPECT_EQ(written->size(), 974u);
  EXPECT_EQ(written->substr(0, 4), "ZORV");
  EXPECT_EQ(*written, CarriedFile());
  EXPECT_THAT(Lines(), IsEmpty());
}

TEST_F(RepairTest, WriteGoodIdeFailureNamesThePathThenTheError) {
  const std::wstring path = kInstallFolder + L"\\missing folder\\tulov-ek.ide";
  EXPECT_FALSE(WriteGoodIde(run, path));
  EXPECT_THAT(Lines(), ElementsAre(L"Failed to write the IDE that fixes the issue to " + path,
                                   L"Script encountered an error, details:", L"Number = 3",
                                   L"Description = The system cannot find the path specified."));
}

TEST_F(RepairTest, DetectionDataTests) {
  run.g_verbose = true;
  EXPECT_TRUE(IdeExists(run, kInstallFolder, PROBLEM_IDE_NAME));
  EXPECT_FALSE(IdeExists(run, kInstallFolder, NEWER_IDE_NAME));
  EXPECT_FALSE(CheckIfUpdatedIdeExists(run, kInstallFolder + L"\\tulov-ek.ide"));
  EXPECT_THAT(NewLines(), IsEmpty());
  endpoint.files.AddFile(kInstallFolder + L"\\TULOV-EK.IDE", "");
  EXPECT_TRUE(CheckIfUpdatedIdeExists(run, kInstallFolder + L"\\tulov-ek.ide"));
  EXPECT_THAT(NewLines(), ElementsAre(L"tulov-ek.ide is present."));
}

// ---------------------------------------------------------------------------------------------
TEST_F(RepairTest, UpdateNowAsksForAnImmediateUpdate) {
  EXPECT_TRUE(UpdateNow(run));
  EXPECT_THAT(endpoint.updateClient.Calls(), ElementsAre(std::make_pair(0, 1)));
  EXPECT_THAT(Lines(), IsEmpty());
}

TEST_F(RepairTest, UpdateNowFailurePrintsTheHresult) {
  endpoint.updateClient.SetAnswer(Status::Fail(static_cast<std::int32_t>(0x80042F05u),
                                               L"An update is already in progress."));
  EXPECT_FALSE(UpdateNow(run));
  EXPECT_THAT(Lines(), ElementsAre(L"Script encountered an error, details:",
                                   L"Number = 0x80042F05",
                                   L"Description = An update is already in progress."));
}

}  // namespace
}  // namespace repair::testing
