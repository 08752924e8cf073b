#include "UiTestSupport.h"

#include "ui/ResourceIds.h"
#include "support/Logger.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Sent {
    std::string deviceId;
    std::string name;
    float value;
    bool operator==(const Sent& other) const {
        return deviceId == other.deviceId && name == other.name && value == other.value;
    }
};

std::ostream& operator<<(std::ostream& out, const Sent& sent) {
    return out << sent.deviceId << " " << sent.name << "=" << sent.value;
}

class YokeDialogTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        dialog = &MakeYokeDialog();
    }

    std::vector<Sent> SentValues() const {
        std::vector<Sent> result;
        for (const DeviceIoRequest& request : requests) {
            EXPECT_EQ(request.kind, DeviceIoRequestKind::SetValue);
            result.push_back({request.deviceId, request.text, request.value});
        }
        return result;
    }

    void Click(int id) { SendMessageW(GetDlgItem(dialog->Hwnd(), id), BM_CLICK, 0, 0); }
    bool Checked(int id) const { return IsDlgButtonChecked(dialog->Hwnd(), id) == BST_CHECKED; }

    RidgelineYokeDlg* dialog = nullptr;
};

TEST_F(YokeDialogTest, IsCreatedHiddenAndOwnedByTheMainWindow) {
    EXPECT_FALSE(IsWindowVisible(dialog->Hwnd()));
    EXPECT_EQ(GetWindow(dialog->Hwnd(), GW_OWNER), MainHwnd());
    EXPECT_EQ(TextOf(dialog->Hwnd()), L"Ridgeline Yoke Parameters");
}

TEST_F(YokeDialogTest, ClickWithoutYokesStoresThePresetAndSendsNothing) {
    Click(IDC_ROLL_HIGH);
    EXPECT_TRUE(Checked(IDC_ROLL_HIGH));
    EXPECT_EQ(dialog->RollState(), 3u);
    EXPECT_EQ(gPlugin->settings->DeviceMap().rollState, 3u);
    EXPECT_NE(ReadDeviceMap().find("roll_state=3"), std::string::npos) << ReadDeviceMap();
    EXPECT_TRUE(requests.empty());

    Click(IDC_PITCH_LOW);
    EXPECT_EQ(gPlugin->settings->DeviceMap().pitchState, 1u);
    EXPECT_NE(ReadDeviceMap().find("pitch_state=1"), std::string::npos);
    EXPECT_TRUE(Checked(IDC_ROLL_HIGH)) << "the axes are separate groups";
}

TEST_F(YokeDialogTest, ClickSendsBothPresetsToEveryYokeInSortedOrder) {
    dialog->AddYoke("9Y");
    dialog->AddYoke("1Y");
    EXPECT_EQ(SentValues(),
              (std::vector<Sent>{{"9Y", "A", 2}, {"9Y", "B", 2}, {"1Y", "A", 2}, {"1Y", "B", 2}}));
    requests.clear();

    Click(IDC_PITCH_HIGH);
    EXPECT_EQ(SentValues(),
              (std::vector<Sent>{{"1Y", "A", 2}, {"1Y", "B", 3}, {"9Y", "A", 2}, {"9Y", "B", 3}}));
}

TEST_F(YokeDialogTest, ClickOnTheCurrentPresetSavesAndSendsAgain) {
    dialog->AddYoke("1Y");
    Click(IDC_ROLL_HIGH);
    requests.clear();
    DeleteFileW(deviceMapPath.c_str());

    Click(IDC_ROLL_HIGH);
    EXPECT_NE(ReadDeviceMap().find("roll_state=3"), std::string::npos);
    EXPECT_EQ(SentValues(), (std::vector<Sent>{{"1Y", "A", 3}, {"1Y", "B", 2}}));
}

TEST_F(YokeDialogTest, FirstYokeGetsTheStoredPresetsOnce) {
    gPlugin->settings->DeviceMap().rollState = 1;
    gPlugin->settings->DeviceMap().pitchState = 3;
    EXPECT_TRUE(dialog->AddYoke("1Y"));
    EXPECT_TRUE(dialog->AddYoke("1Y"));
    EXPECT_EQ(SentValues(), (std::vector<Sent>{{"1Y", "A", 1}, {"1Y", "B", 3}}));
    EXPECT_TRUE(dialog->HasYokes());
}

TEST_F(YokeDialogTest, RemovingTheLastYokeGraysTheYokeMenuItems) {
    dialog->AddYoke("1Y");
    dialog->AddYoke("2Y");
    HMENU menu = GetMenu(MainHwnd());
    EXPECT_FALSE(GetMenuState(menu, IDM_YOKE_SETTINGS, MF_BYCOMMAND) & MF_GRAYED);

    dialog->RemoveYoke("1Y");
    EXPECT_FALSE(GetMenuState(menu, IDM_YOKE_SETTINGS, MF_BYCOMMAND) & MF_GRAYED);
    dialog->RemoveYoke("2Y");
    EXPECT_FALSE(dialog->HasYokes());
    EXPECT_TRUE(GetMenuState(menu, IDM_YOKE_SETTINGS, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(GetMenuState(menu, IDM_YOKE_RECALIBRATE, MF_BYCOMMAND) & MF_GRAYED);
}

TEST_F(YokeDialogTest, ShowChecksTheStoredPresetsAndNoneForAStateWithoutButton) {
    gPlugin->settings->DeviceMap().rollState = 0;
    gPlugin->settings->DeviceMap().pitchState = 3;
    dialog->Show();
    EXPECT_TRUE(IsWindowVisible(dialog->Hwnd()));
    for (int id : {IDC_ROLL_LOW, IDC_ROLL_MED, IDC_ROLL_HIGH, IDC_PITCH_LOW, IDC_PITCH_MED})
        EXPECT_FALSE(Checked(id)) << id;
    EXPECT_TRUE(Checked(IDC_PITCH_HIGH));
    EXPECT_EQ(dialog->RollState(), 0u);
}

TEST_F(YokeDialogTest, EscapeDoesNothingAndTheCloseBoxHides) {
    dialog->Show();
    MSG escape{};
    escape.hwnd = GetDlgItem(dialog->Hwnd(), IDC_ROLL_LOW);
    escape.message = WM_KEYDOWN;
    escape.wParam = VK_ESCAPE;
    IsDialogMessageW(dialog->Hwnd(), &escape);
    SendMessageW(dialog->Hwnd(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(IsWindowVisible(dialog->Hwnd()));
    EXPECT_TRUE(requests.empty());

    SendMessageW(dialog->Hwnd(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(dialog->Hwnd()));
    EXPECT_FALSE(IsWindowVisible(dialog->Hwnd()));
}

TEST_F(YokeDialogTest, FailureWhileSendingIsLoggedNotThrown) {
    bool fail = false;
    RidgelineYokeDlg failing(gPlugin.get(), [&fail](const DeviceIoRequest&) {
        if (fail)
            throw std::runtime_error("queue failed");
    });
    failing.AddYoke("1Y");
    fail = true;

    SendMessageW(GetDlgItem(failing.Hwnd(), IDC_ROLL_LOW), BM_CLICK, 0, 0);
    EXPECT_TRUE(Logged(BKFLog::LevelError, "queue failed"));
    EXPECT_EQ(failing.RollState(), 1u);
    EXPECT_EQ(gPlugin->settings->DeviceMap().rollState, 1u) << "stored before sending";
    EXPECT_TRUE(IsWindow(failing.Hwnd()));
}

} // namespace
