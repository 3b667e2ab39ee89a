// Dialogs from templates: the controls are filled from the members when the dialog opens and
// taken back when OK is pressed; a control without a valid value keeps the dialog open.
#include "platform/dialog.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

namespace {

constexpr int kTestDialog = 900;
constexpr int kNameEdit = 1001;
constexpr int kOptionCheck = 1002;
constexpr int kNumberEdit = 1003;
// Posted to itself by the dialog once it shows: the test's "user" acts then.
constexpr UINT kActMessage = WM_APP + 1;

class TestDialog : public CDialog {
public:
    TestDialog() : CDialog(kTestDialog) {}

    CTexto name = "start";
    int option = 1;
    int number = 42;
    std::string shownName;
    int shownNumber = 0;
    int shownOption = -1;
    std::function<void(TestDialog&)> user;

protected:
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        char text[64] = {};
        GetDlgItemTextA(m_hWnd, kNameEdit, text, sizeof text);
        shownName = text;
        shownNumber = static_cast<int>(GetDlgItemInt(m_hWnd, kNumberEdit, nullptr, TRUE));
        shownOption = static_cast<int>(IsDlgButtonChecked(m_hWnd, kOptionCheck));
        PostMessage(kActMessage);
        return TRUE;
    }
    void DoDataExchange(CDataExchange* dx) override
    {
        DDX_Text(dx, kNameEdit, name);
        DDX_Text(dx, kNumberEdit, number);
        DDX_Check(dx, kOptionCheck, option);
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == kActMessage) {
            if (user)
                user(*this);
            return 0;
        }
        return CDialog::WindowProc(message, wParam, lParam);
    }
};

void Press(HWND dialog, int button)
{
    SendMessageA(GetDlgItem(dialog, button), BM_CLICK, 0, 0);
}

TEST(Dialog, OkTakesTheControlsIntoTheMembers)
{
    TestDialog dialog;
    dialog.user = [](TestDialog& d) {
        SetDlgItemTextA(d.m_hWnd, kNameEdit, "typed name");
        SetDlgItemTextA(d.m_hWnd, kNumberEdit, "-17");
        CheckDlgButton(d.m_hWnd, kOptionCheck, BST_UNCHECKED);
        Press(d.m_hWnd, IDOK);
    };
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.shownName, "start");
    EXPECT_EQ(dialog.shownNumber, 42);
    EXPECT_EQ(dialog.shownOption, 1);
    EXPECT_STREQ(dialog.name.GetText(), "typed name");
    EXPECT_EQ(dialog.number, -17);
    EXPECT_EQ(dialog.option, 0);
    EXPECT_EQ(dialog.m_hWnd, nullptr);
}

TEST(Dialog, InvalidValueKeepsItOpen)
{
    TestDialog dialog;
    bool stillOpenAfterOk = false;
    dialog.user = [&stillOpenAfterOk](TestDialog& d) {
        SetDlgItemTextA(d.m_hWnd, kNumberEdit, "twelve");
        Press(d.m_hWnd, IDOK);
        stillOpenAfterOk = IsWindow(d.m_hWnd) != FALSE;
        PostMessageA(d.m_hWnd, WM_CLOSE, 0, 0);  // closing the window cancels
    };
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_TRUE(stillOpenAfterOk);
    EXPECT_EQ(dialog.number, 42);
    EXPECT_EQ(dialog.option, 1);
}

TEST(Dialog, ModelessDialogLivesUntilDestroyed)
{
    TestDialog dialog;
    ASSERT_TRUE(dialog.Create(nullptr));
    HWND hwnd = dialog.m_hWnd;
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(CWnd::FromHandle(hwnd), &dialog);
    EXPECT_EQ(dialog.shownName, "start");
    EXPECT_FALSE(dialog.Create(nullptr)) << "one window per object";

    SetDlgItemTextA(hwnd, kNameEdit, "modeless");
    EXPECT_TRUE(dialog.UpdateData(TRUE));
    EXPECT_STREQ(dialog.name.GetText(), "modeless");

    dialog.EndDialog(IDOK);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(dialog.m_hWnd, nullptr);
}

TEST(Dialog, MissingTemplateFails)
{
    CDialog dialog(12345);
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_FALSE(dialog.Create(nullptr));
}

}  // namespace
