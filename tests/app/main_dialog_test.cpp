// The tool from its entry point on the headless dialog host: the debug
// switch, start-up (GDI+, layout, work directory) and the exit branch.
#include "app/app_main.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "app/dialog_ids.h"
#include "core/app_state.h"
#include "platform/host/host_control.h"
#include "platform/host/host_path.h"
#include "platform/os.h"
#include "tests/common/temp_dir.h"

namespace {

class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(MakeTempDir(&tmp_, "qn_dialog_", true));
        HostResetAll();
        HostClearResources();  // no package: ExtractPackage finds nothing
    }
    void TearDown() override {
        if (HostDialogUp()) {
            GetAppState()->hWorkerThread = nullptr;
            HostCloseDialog();
            HostJoinDialogThread();
        }
        ASSERT_NO_FATAL_FAILURE(RemoveTempDir(tmp_));
    }

    // Starts the tool with this command line and waits for its dialog.
    HWND Start(const std::string& command_line) {
        HostStartDialogThread([command_line]() { return AppMain(command_line.c_str()); });
        return HostWaitForDialog();
    }
    // Escape; the tool must end with 0.
    void Close() {
        ASSERT_EQ(HostCloseDialog(), kHostDone);
        INT_PTR result = -1;
        ASSERT_TRUE(HostDialogEnded(&result));
        EXPECT_EQ(result, 0);
        EXPECT_EQ(HostJoinDialogThread(), 0);
    }
    int DebugFlagFor(const std::string& command_line) {
        if (!Start(command_line)) return -1;
        int flag = GetAppState()->bDebug;
        Close();
        return flag;
    }
    std::string L(const std::string& rel) const { return tmp_.root + "/" + rel; }
    bool Exists(const std::string& rel) const {
        struct stat st;
        return stat(L(rel).c_str(), &st) == 0;
    }
    std::string WorkRel() const { return "Quillon/" + std::to_string(kHostClockStart); }

    TempDir tmp_;
};

TEST_F(MainDialogTest, DebugSwitchAnyCaseAnyPlaceButOnlyWithTheSlash) {
    EXPECT_EQ(DebugFlagFor("/debug"), 1);
    EXPECT_EQ(DebugFlagFor("/DEBUG"), 1);
    EXPECT_EQ(DebugFlagFor("-x /DeBuG -y"), 1);
    EXPECT_EQ(DebugFlagFor("x/debugging"), 1);  // inside a longer word
    EXPECT_EQ(DebugFlagFor("-debug"), 0);
    EXPECT_EQ(DebugFlagFor("debug"), 0);
    EXPECT_EQ(DebugFlagFor(""), 0);
}

TEST_F(MainDialogTest, AnOverLongCommandLineIsCutTo1023Units) {
    std::string head = "/debug " + std::string(5000, 'a');
    EXPECT_EQ(DebugFlagFor(head), 1);
    std::string tail_in = std::string(1017, 'a') + "/debug";  // ends at unit 1023
    EXPECT_EQ(DebugFlagFor(tail_in), 1);
    std::string tail_out = std::string(1018, 'a') + "/debug";  // one unit too far
    EXPECT_EQ(DebugFlagFor(tail_out), 0);
}

TEST_F(MainDialogTest, StartAndEndOfTheProcessFrame) {
    ASSERT_NE(Start(""), nullptr);
    Close();
    auto calls = HostSystemCalls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls.front().name, "GdiplusStartup");
    EXPECT_EQ(calls[1].name, "InitCommonControls");
    EXPECT_EQ(calls.back().name, "GdiplusShutdown");
    EXPECT_EQ(calls.back().value, calls.front().value);  // the same token
}

TEST_F(MainDialogTest, LayoutAtInitialisation) {
    HWND dialog = Start("");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(GetAppState()->hDlg, dialog);
    for (int id : {kIdModel, kIdSerial, kIdInterface, kIdFirmware, kIdCapacity, kIdStatus}) {
        EXPECT_EQ(HostControlText(id), u"") << "control " << id;
    }

    RECT window = HostWindowRectOf(0);
    RECT status = HostWindowRectOf(kIdStatus);
    RECT bar = HostWindowRectOf(kIdProgress);
    int width = window.right - window.left;
    int height = window.bottom - window.top;
    // One status-line height and 5 pixels below the status line.
    EXPECT_EQ(height, (status.bottom - window.top) + (status.bottom - status.top) + 5);
    // Centred on the 1920 x 1080 screen.
    EXPECT_EQ(window.left, (kHostScreenWidth - width) / 2);
    EXPECT_EQ(window.top, (kHostScreenHeight - height) / 2);
    // The bar: full client width, 5 pixels high, at the bottom of the client area.
    int client_left = window.left + kHostFrame;
    int client_width = width - 2 * kHostFrame;
    int client_bottom = window.bottom - kHostFrame;
    EXPECT_EQ(bar.left, client_left);
    EXPECT_EQ(bar.right - bar.left, client_width);
    EXPECT_EQ(bar.bottom - bar.top, 5);
    EXPECT_EQ(bar.bottom, client_bottom);

    EXPECT_NE(HostControlImage(kIdIcon), nullptr);
    EXPECT_EQ(HostControlImage(kIdIcon), HostDialogClassIcon());
    Close();
}

TEST_F(MainDialogTest, WorkDirectoryLivesWhileTheDialogIsUp) {
    ASSERT_NE(Start(""), nullptr);
    AppState* state = GetAppState();
    std::u16string work = HostUtf16(tmp_.root) + u"\\Quillon\\" + HostUtf16(std::to_string(kHostClockStart));
    EXPECT_EQ(std::u16string(state->szWorkDir), work);
    EXPECT_EQ(std::u16string(state->szIniPath), work + u"\\QuillonInfo.ini");
    EXPECT_TRUE(Exists(WorkRel()));
    std::ofstream(L(WorkRel() + "/QuillonInfo.ini")) << "[UPDATEINFO]\n";

    Close();
    EXPECT_FALSE(Exists(WorkRel()));
    EXPECT_TRUE(Exists("Quillon"));
}

TEST_F(MainDialogTest, ExitIsRefusedWhileAWorkerRuns) {
    ASSERT_NE(Start(""), nullptr);
    AppState* state = GetAppState();
    state->hWorkerThread = reinterpret_cast<HANDLE>(static_cast<intptr_t>(0x44));  // only tested, never used

    EXPECT_EQ(HostCloseDialog(), kHostDone);
    INT_PTR result = 0;
    EXPECT_FALSE(HostDialogEnded(&result));
    EXPECT_TRUE(HostDialogUp());
    auto boxes = HostMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"Update FW Now!\nCan't Exit Program.");
    EXPECT_EQ(boxes[0].caption, std::u16string(state->szTitle));
    EXPECT_EQ(boxes[0].style, MB_OK);
    EXPECT_TRUE(Exists(WorkRel()));

    // The worker's end clears the marker: now the exit goes through.
    state->hWorkerThread = nullptr;
    Close();
    EXPECT_EQ(HostMessageBoxes().size(), 1u);
    EXPECT_FALSE(Exists(WorkRel()));
    EXPECT_TRUE(Exists("Quillon"));
}

TEST_F(MainDialogTest, NoUsableTempFolderMeansNoWorkFolderAndNothingDeleted) {
    std::ofstream(L("precious.bin")) << "x";
    setenv("TMPDIR", (tmp_.root + "/" + std::string(300, 't')).c_str(), 1);
    ASSERT_NE(Start(""), nullptr);
    AppState* state = GetAppState();
    EXPECT_EQ(state->szWorkDir[0], 0);
    EXPECT_EQ(state->szIniPath[0], 0);
    EXPECT_EQ(state->bWorkDirCreated, 0);
    Close();
    EXPECT_TRUE(Exists("precious.bin"));
}

TEST_F(MainDialogTest, ProgressMessagesMoveTheBarWithinTheStage) {
    HWND dialog = Start("");
    ASSERT_NE(dialog, nullptr);
    AppState* state = GetAppState();
    state->sProgressStart = 30;
    state->sProgressEnd = 40;
    os::PostMessageW(dialog, WM_UPDATE_PROGRESS, 0, 50);
    ASSERT_EQ(HostWaitIdle(), kHostIdle);
    EXPECT_EQ(HostProgressPosition(kIdProgress), 35);

    state->sProgressStart = 0;
    state->sProgressEnd = 0;
    os::PostMessageW(dialog, WM_UPDATE_PROGRESS, 0, 70);
    ASSERT_EQ(HostWaitIdle(), kHostIdle);
    EXPECT_EQ(HostProgressPosition(kIdProgress), 70);
    Close();
}

}  // namespace
