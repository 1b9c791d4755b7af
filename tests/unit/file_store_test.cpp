// Saves that lose nothing: every call of the file layer failing in turn, full and read-only disks,
// files held open by another program, and copies kept aside.
#include <gtest/gtest.h>

#include <numeric>

#include "fake_file_system.h"

namespace {

const FsPath kPath = L"C:\\Temp\\nts.ini";
const std::string kOld = "old file \x01\x02\x03";
const std::string kNew = std::string(5000, 'N') + "\r\n\xB0\xB3";

int TotalPause(const FakeFileSystem& fs) {
    return std::accumulate(fs.pauses.begin(), fs.pauses.end(), 0);
}

std::map<FsPath, std::string> OnlyOld() {
    return {{kPath, kOld}};
}

TEST(SaveFileAtomically, WritesAndReplacesLeavingNothingElse) {
    FakeFileSystem fs;
    SaveResult result = SaveFileAtomically(fs, kPath, kNew);
    EXPECT_EQ(result.outcome, SaveOutcome::kSaved);
    EXPECT_EQ(fs.files, (std::map<FsPath, std::string>{{kPath, kNew}}));

    result = SaveFileAtomically(fs, kPath, "");
    EXPECT_EQ(result.outcome, SaveOutcome::kSaved);
    EXPECT_EQ(fs.files, (std::map<FsPath, std::string>{{kPath, ""}}));
    EXPECT_EQ(fs.OpenFiles(), 0);
    EXPECT_EQ(fs.Calls(FsOp::kFlush), 2) << "every save is flushed before it replaces";
}

TEST(SaveFileAtomically, AnyFailureBeforeTheReplaceLeavesTheOldFileAlone) {
    const struct {
        FsOp op;
        FileError error;
    } faults[] = {
        {FsOp::kCreate, FileError::kOther}, {FsOp::kCreate, FileError::kAccessDenied},
        {FsOp::kWrite, FileError::kOther},  {FsOp::kWrite, FileError::kDiskFull},
        {FsOp::kFlush, FileError::kOther},  {FsOp::kClose, FileError::kOther},
    };
    for (const auto& f : faults) {
        FakeFileSystem fs;
        fs.files = OnlyOld();
        fs.FailNth(f.op, 1, f.error);
        const SaveResult result = SaveFileAtomically(fs, kPath, kNew);
        EXPECT_EQ(result.outcome, SaveOutcome::kFailed) << static_cast<int>(f.op);
        EXPECT_EQ(result.error, f.error) << static_cast<int>(f.op);
        EXPECT_EQ(fs.files, OnlyOld()) << "nothing half written stays: " << static_cast<int>(f.op);
        EXPECT_EQ(fs.OpenFiles(), 0);
        EXPECT_EQ(fs.Calls(FsOp::kReplace), 0);
    }
}

TEST(SaveFileAtomically, AReplaceThatFailsKeepsTheNewBytesBesideTheOldFile) {
    for (const FileError error : {FileError::kOther, FileError::kNotFound}) {
        FakeFileSystem fs;
        fs.files = OnlyOld();
        fs.FailNth(FsOp::kReplace, 1, error);
        const SaveResult result = SaveFileAtomically(fs, kPath, kNew);
        EXPECT_EQ(result.outcome, SaveOutcome::kKeptBeside);
        EXPECT_EQ(result.keptAt, kPath + L".new-1");
        EXPECT_EQ(fs.files, (std::map<FsPath, std::string>{{kPath, kOld}, {kPath + L".new-1", kNew}}));
        EXPECT_TRUE(fs.pauses.empty()) << "only sharing and access errors are worth a retry";
    }
}

TEST(SaveFileAtomically, FullDisk) {
    FakeFileSystem fs;
    fs.files = OnlyOld();
    fs.SetCapacity(kOld.size() + kNew.size() - 1);
    const SaveResult result = SaveFileAtomically(fs, kPath, kNew);
    EXPECT_EQ(result.outcome, SaveOutcome::kFailed);
    EXPECT_EQ(result.error, FileError::kDiskFull);
    EXPECT_EQ(fs.files, OnlyOld());
}

TEST(SaveFileAtomically, ReadOnlyFolder) {
    FakeFileSystem fs;
    fs.files = OnlyOld();
    fs.SetReadOnly(true);
    const SaveResult result = SaveFileAtomically(fs, kPath, kNew);
    EXPECT_EQ(result.outcome, SaveOutcome::kFailed);
    EXPECT_EQ(fs.files, OnlyOld());
}

TEST(SaveFileAtomically, RetriesBrieflyWhileTheTargetIsHeldOpen) {
    for (const int attempts : {1, 3, kBusyRetries}) {
        FakeFileSystem fs;
        fs.files = OnlyOld();
        fs.HoldOpen(kPath, attempts);
        EXPECT_EQ(SaveFileAtomically(fs, kPath, kNew).outcome, SaveOutcome::kSaved) << attempts;
        EXPECT_EQ(fs.files, (std::map<FsPath, std::string>{{kPath, kNew}}));
        EXPECT_EQ(fs.pauses.size(), static_cast<std::size_t>(attempts));
    }

    FakeFileSystem fs;
    fs.files = OnlyOld();
    fs.HoldOpen(kPath);
    const SaveResult result = SaveFileAtomically(fs, kPath, kNew);
    EXPECT_EQ(result.outcome, SaveOutcome::kKeptBeside);
    EXPECT_EQ(result.error, FileError::kAccessDenied);
    EXPECT_EQ(fs.files, (std::map<FsPath, std::string>{{kPath, kOld}, {result.keptAt, kNew}}));
    EXPECT_EQ(fs.pauses.size(), static_cast<std::size_t>(kBusyRetries));
    EXPECT_GT(TotalPause(fs), 100);
    EXPECT_LT(TotalPause(fs), 500);
}

TEST(LoadFile, WaitsAboutTwoSecondsForAFileHeldAtStart) {
    for (const int attempts : {kBusyRetries + 3, -1}) {
        FakeFileSystem fs;
        fs.files = OnlyOld();
        fs.HoldOpen(kPath, attempts);
        std::string bytes;
        EXPECT_EQ(LoadFile(fs, kPath, bytes), attempts < 0 ? FileError::kSharing : FileError::kNone);
        EXPECT_EQ(bytes, attempts < 0 ? "" : kOld);
        if (attempts < 0) {
            EXPECT_GE(TotalPause(fs), 1800);
            EXPECT_LE(TotalPause(fs), 2500);
        }
    }
}

TEST(SaveFileAtomically, NeverTouchesANewFileLeftByAnEarlierRun) {
    FakeFileSystem fs;
    fs.files = {{kPath, kOld}, {kPath + L".new-1", "from a crash"}, {kPath + L".new-2", "another"}};
    EXPECT_EQ(SaveFileAtomically(fs, kPath, kNew).outcome, SaveOutcome::kSaved);
    EXPECT_EQ(fs.files,
              (std::map<FsPath, std::string>{
                  {kPath, kNew}, {kPath + L".new-1", "from a crash"}, {kPath + L".new-2", "another"}}));
}

TEST(KeepAside, CopiesUnderANameNoOneHasUsedAndNeverOverwrites) {
    FakeFileSystem fs;
    FsPath kept = L"unset";
    EXPECT_TRUE(KeepAside(fs, kPath, "20261208-153000", &kept)) << "no file, nothing to keep";
    EXPECT_EQ(kept, L"unset");
    EXPECT_TRUE(fs.files.empty());

    fs.files = OnlyOld();
    const FsPath base = kPath + L".unreadable-20261208-153000";
    for (const FsPath& expected : {base, base + L"-2", base + L"-3"}) {
        fs.files[kPath] = kOld + "@" + std::to_string(fs.files.size());
        const std::string content = fs.files[kPath];
        ASSERT_TRUE(KeepAside(fs, kPath, "20261208-153000", &kept));
        EXPECT_EQ(kept, expected);
        EXPECT_EQ(fs.files[expected], content);
    }
    EXPECT_EQ(fs.files.size(), 4u);
    EXPECT_EQ(fs.files[base], kOld + "@1");
}

TEST(KeepAside, FailsWithoutLeavingAPartialCopy) {
    const struct {
        FsOp op;
        FileError error;
    } faults[] = {
        {FsOp::kRead, FileError::kOther},     {FsOp::kCreate, FileError::kOther},
        {FsOp::kWrite, FileError::kDiskFull}, {FsOp::kFlush, FileError::kOther},
        {FsOp::kClose, FileError::kOther},
    };
    for (const auto& f : faults) {
        FakeFileSystem fs;
        fs.files = OnlyOld();
        fs.FailNth(f.op, 1, f.error);
        EXPECT_FALSE(KeepAside(fs, kPath, "20261208-153000")) << static_cast<int>(f.op);
        EXPECT_EQ(fs.files, OnlyOld()) << static_cast<int>(f.op);
    }
    FakeFileSystem fs;
    fs.files = OnlyOld();
    fs.HoldOpen(kPath);
    EXPECT_FALSE(KeepAside(fs, kPath, "20261208-153000"));
    EXPECT_LT(TotalPause(fs), 1000);
}

TEST(SaveDataFile, KeepsTheUnloadableFileBeforeReplacingIt) {
    FakeFileSystem fs;
    fs.files = OnlyOld();
    EXPECT_EQ(SaveDataFile(fs, kPath, kNew, true, "20261208-153000").outcome, SaveOutcome::kSaved);
    EXPECT_EQ(fs.files,
              (std::map<FsPath, std::string>{{kPath, kNew}, {kPath + L".unreadable-20261208-153000", kOld}}));

    FakeFileSystem plain;
    plain.files = OnlyOld();
    EXPECT_EQ(SaveDataFile(plain, kPath, kNew, false, "20261208-153000").outcome, SaveOutcome::kSaved);
    EXPECT_EQ(plain.files, (std::map<FsPath, std::string>{{kPath, kNew}}));
}

TEST(SaveDataFile, WhenTheOldFileCannotBeCopiedBothAreKept) {
    FakeFileSystem fs;
    fs.files = OnlyOld();
    fs.FailNth(FsOp::kRead, 1, FileError::kOther);
    const SaveResult result = SaveDataFile(fs, kPath, kNew, true, "20261208-153000");
    EXPECT_EQ(result.outcome, SaveOutcome::kKeptBeside);
    EXPECT_EQ(fs.files, (std::map<FsPath, std::string>{{kPath, kOld}, {result.keptAt, kNew}}));
    EXPECT_EQ(fs.Calls(FsOp::kReplace), 0);
}

// Bytes handed over in pieces are saved as the same bytes whole are, and a piece that cannot be
// made (its writer's error) leaves the old file and nothing else.
TEST(SaveDataFile, InPiecesAsWhole) {
    const auto inPieces = [](std::size_t size, std::size_t failAt) -> BytePieces {
        return [size, failAt](const std::function<FileError(std::string_view)>& put) {
            for (std::size_t at = 0; at < kNew.size(); at += size) {
                if (failAt != SIZE_MAX && at + size > failAt) {
                    return FileError::kDiskFull;
                }
                if (const FileError error = put(std::string_view(kNew).substr(at, size));
                    error != FileError::kNone) {
                    return error;
                }
            }
            return FileError::kNone;
        };
    };
    const struct {
        const char* what;
        bool keepAside;
        bool copyFails;
        std::size_t failAt;
        SaveOutcome outcome;
    } cases[] = {
        {"saved", false, false, SIZE_MAX, SaveOutcome::kSaved},
        {"the old file kept aside first", true, false, SIZE_MAX, SaveOutcome::kSaved},
        {"kept beside the old file it could not copy", true, true, SIZE_MAX, SaveOutcome::kKeptBeside},
        {"a piece that fails", false, false, 3000, SaveOutcome::kFailed},
        {"a piece that fails after the copy aside", true, false, 3000, SaveOutcome::kFailed},
    };
    for (const auto& c : cases) {
        for (const std::size_t size : {std::size_t{1}, std::size_t{999}, kNew.size()}) {
            FakeFileSystem whole, pieces;
            whole.files = pieces.files = OnlyOld();
            if (c.copyFails) {
                whole.FailNth(FsOp::kRead, 1, FileError::kOther);
                pieces.FailNth(FsOp::kRead, 1, FileError::kOther);
            }
            const SaveResult byPieces =
                SaveDataFile(pieces, kPath, inPieces(size, c.failAt), c.keepAside, "20261208-153000");
            EXPECT_EQ(byPieces.outcome, c.outcome) << c.what << " " << size;
            if (c.failAt == SIZE_MAX) {
                const SaveResult byWhole = SaveDataFile(whole, kPath, kNew, c.keepAside, "20261208-153000");
                EXPECT_EQ(byWhole.outcome, byPieces.outcome) << c.what;
                EXPECT_EQ(whole.files, pieces.files) << c.what << " " << size;
            } else {
                EXPECT_EQ(pieces.files.at(kPath), kOld) << c.what;
                EXPECT_EQ(pieces.files.size(), c.keepAside ? 2u : 1u) << c.what; // the copy aside stays
            }
        }
    }
}

TEST(LoadFile, WaitsBrieflyForAFileHeldOpen) {
    FakeFileSystem fs;
    fs.files = OnlyOld();
    fs.HoldOpen(kPath, 2);
    std::string bytes;
    EXPECT_EQ(LoadFile(fs, kPath, bytes), FileError::kNone);
    EXPECT_EQ(bytes, kOld);

    fs.HoldOpen(kPath);
    EXPECT_EQ(LoadFile(fs, kPath, bytes), FileError::kSharing);
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(LoadFile(fs, L"C:\\Temp\\missing", bytes), FileError::kNotFound);
}

TEST(FileStamp, IsDateDashTimeWithLeadingZeros) {
    EXPECT_EQ(FileStamp(2026, 12, 8, 15, 30, 0), "20261208-153000");
    EXPECT_EQ(FileStamp(987, 1, 2, 3, 4, 5), "09870102-030405");
}

} // namespace
