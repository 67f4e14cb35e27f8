// Every row layout painted by the Qt backend (offscreen) in a list as wide as the main window's
// list area, with sample rows in their usual states: short, long and Chinese names, progress,
// failure, finished conversion, chosen music, linked merge rows. Screenshots at 100 % and 150 %.
#include <gtest/gtest.h>

#include <QImage>
#include <functional>

#include "common/Common.h"
#include "platform/Platform.h"
#include "ui/TaskList.h"
#include "uikit/UIlib.h"
#include "uikit/qt/QtBackend.h"
#include "uikit_qt/QtTestSupport.h"

namespace {

using qttest::Ink;
using qttest::PumpFor;

// A window holding one list named like the page's list, as wide as the main window's list area.
class CRowHostWnd : public CWindowUI {
public:
    explicit CRowHostWnd(const std::wstring& listName) {
        const std::wstring xml =
            L"<Window size=\"758,196\">"
            L"<Font name=\"Noto Sans CJK SC\" size=\"13\" default=\"true\"/>"
            L"<Font name=\"Noto Sans CJK SC\" size=\"13\" bold=\"true\"/>"
            L"<Font name=\"Noto Sans CJK SC\" size=\"12\"/>"
            L"<Font name=\"Noto Sans CJK SC\" size=\"16\" bold=\"true\"/>"
            L"<Font name=\"Noto Sans CJK SC\" size=\"14\"/>"
            L"<VerticalLayout bkcolor=\"#FFFFFFFF\">"
            L"<List name=\"" +
            listName +
            L"\" bkcolor=\"#FFFFFFFF\" itembkcolor=\"#FFFFFFFF\" itemhotbkcolor=\"#FFFAFBFC\" "
            L"itemselectedbkcolor=\"#FFEAF1FD\"/>"
            L"</VerticalLayout></Window>";
        CBuilderUI builder;
        SetRoot(builder.CreateFromText(xml, this, this));
    }
    std::wstring GetWindowClassName() const override { return L"RowHostWnd"; }
    std::wstring GetSkinFile() override { return L""; }
};

MediaFacts Facts(uint32_t ms, uint64_t size, int32_t bitRate) {
    MediaFacts f;
    f.durationMs = ms;
    f.fileSize = size;
    f.bitRate = bitRate;
    return f;
}

const std::wstring kShort = L"/music/a.wav";
const std::wstring kChinese = L"/music/周末的午后 钢琴曲.flac";
const std::wstring kLong =
    L"/music/An extremely long recording name that will never fit into the row "
    L"of the list 2024-05-17 final master version.mp3";

CControlUI* Child(CControlUI* row, const wchar_t* name) {
    auto* c = dynamic_cast<CContainerUI*>(row);
    return c ? c->FindSubControl(name) : nullptr;
}

class TaskListGuiTest : public ::testing::Test {
protected:
    // Builds the window for page's list, fills it and shoots it at 100 % and 150 %.
    void Shoot(const std::wstring& listName, const std::string& shot,
               const std::function<void(CTaskList&, CListUI*)>& fill) {
        auto* wnd = new CRowHostWnd(listName);
        ASSERT_TRUE(wnd->Create(nullptr, L"rows"));
        wnd->ShowWindow(true, false);
        {
            CTaskList tasks(wnd);
            auto* list = wnd->FindControlAs<CListUI>(listName);
            ASSERT_NE(list, nullptr);
            fill(tasks, list);
            PumpFor();
            for (int dpi : {96, 144}) {
                wnd->ApplyDPI(dpi);
                QImage image = qttest::Shoot(wnd, shot, dpi);
                ASSERT_FALSE(image.isNull());
                // Every row shows its name: ink in the left part of each row.
                for (int i = 0; i < list->GetCount(); ++i) {
                    UIRect rc = list->GetItemAt(i)->GetPos();
                    ASSERT_GT(rc.GetHeight(), 0);
                    EXPECT_EQ(rc.GetHeight(), dpi == 96 ? 56 : 84) << shot << " row " << i;
                    UIRect nameArea{rc.left, rc.top, rc.left + rc.GetWidth() / 3, rc.bottom - 2};
                    EXPECT_GT(Ink(image, nameArea), 50) << shot << " row " << i << " at " << dpi;
                }
            }
        }
        delete wnd;
        PumpFor();
    }
};

TEST_F(TaskListGuiTest, FormatRows) {
    Shoot(L"list_formatfile", "listitemformat", [](CTaskList& t, CListUI*) {
        t.AddRow(1, kShort, Facts(2000, 352844, 1411200));
        CControlUI* done = t.AddRow(1, kChinese, Facts(225300, 23456789, 913000));
        Child(done, L"formatconvertaudio")->SetVisible(false);
        Child(done, L"btn_openfile")->SetVisible(true);
        Child(done, L"outfileext")->SetText(L"格式：wav");
        Child(done, L"outfileext")->SetTextColor(0xFF347AEB);
        t.AddRow(1, kLong, Facts(3723456, 1234567890, 320000));
    });
}

TEST_F(TaskListGuiTest, CutRowsAndSegmentRows) {
    Shoot(L"list_cutfile", "listitemcut", [](CTaskList& t, CListUI* list) {
        t.AddRow(0, kShort, Facts(2000, 352844, 1411200));
        t.AddRow(0, kChinese, Facts(225300, 23456789, 913000));
        t.AddRow(0, kLong, Facts(3723456, 1234567890, 320000));
        list->SelectItem(1, false);
    });
    Shoot(L"list_cutoutfile", "listitemcutout", [](CTaskList& t, CListUI*) {
        t.AddSegmentRow(0, kShort, L"a_1.wav", 0, 1000, L"344.57 KB");
        CControlUI* done =
            t.AddSegmentRow(0, kChinese, L"周末的午后 钢琴曲_2.flac", 60000, 125300, L"22.37 MB");
        Child(done, L"filesize")->SetText(L"已剪切");
        Child(done, L"filesize")->SetTextColor(0xFF347AEB);
        t.AddSegmentRow(0, kLong, L"An extremely long recording name that will never fit_3.mp3", 0, 3723456,
                        L"1.15 GB");
    });
}

TEST_F(TaskListGuiTest, MergeRows) {
    Shoot(L"list_mergefile", "listitemmerge", [](CTaskList& t, CListUI*) {
        t.AddRow(2, kShort, Facts(2000, 352844, 1411200));
        t.AddRow(2, kChinese, Facts(225300, 23456789, 913000));
        t.AddRow(2, kLong, Facts(3723456, 1234567890, 320000));
    });
}

TEST_F(TaskListGuiTest, SpeedAndVolumeRows) {
    Shoot(L"list_speedfile", "listitemspeed", [](CTaskList& t, CListUI*) {
        t.AddRow(4, kShort, Facts(2000, 352844, 1411200));
        CControlUI* running = t.AddRow(4, kChinese, Facts(225300, 23456789, 913000));
        dynamic_cast<CProgressUI*>(Child(running, L"progress"))->SetValue(45);
        Child(running, L"ProgressValue")->SetText(L"45%");
        CControlUI* failed = t.AddRow(4, kLong, Facts(3723456, 1234567890, 320000));
        auto* bar = dynamic_cast<CProgressUI*>(Child(failed, L"progress"));
        bar->SetValue(100);
        bar->SetAttribute(L"forecolor", L"#FFF1707A");
        Child(failed, L"ProgressValue")->SetText(L"失败");
        Child(failed, L"ProgressValue")->SetTextColor(0xFFF1707A);
    });
}

TEST_F(TaskListGuiTest, NoiseRows) {
    Shoot(L"list_noisefile", "listitemnoise", [](CTaskList& t, CListUI*) {
        t.AddRow(6, kShort, Facts(2000, 352844, 1411200));
        CControlUI* row = t.AddRow(6, kChinese, Facts(225300, 23456789, 913000));
        dynamic_cast<CComboUI*>(Child(row, L"comboNoiseRank"))->SelectItem(2, false);
        dynamic_cast<CProgressUI*>(Child(row, L"progress"))->SetValue(100);
        Child(row, L"ProgressValue")->SetText(L"100%");
        t.AddRow(6, kLong, Facts(3723456, 1234567890, 320000));
    });
}

TEST_F(TaskListGuiTest, BackgroundMusicRows) {
    Shoot(L"list_addbgmfile", "listitemaddbgm", [](CTaskList& t, CListUI*) {
        t.AddRow(7, kShort, Facts(2000, 352844, 1411200));
        CControlUI* row = t.AddRow(7, kChinese, Facts(225300, 23456789, 913000));
        Child(row, L"btn_itemaddbgm")->SetText(L"轻快的吉他伴奏 背景.mp3");
        Child(row, L"btn_itemRemovefile")->SetVisible(true);
        dynamic_cast<COptionUI*>(Child(row, L"OpitemLoop"))->Selected(false, false);
        t.AddRow(7, kLong, Facts(3723456, 1234567890, 320000));
    });
}

}  // namespace

int main(int argc, char** argv) {
    return qttest::RunQtTests(argc, argv);
}
